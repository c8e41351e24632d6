// Entry point of the host; the start-up sequence lives in app/Startup.
int main() { return 0; }
