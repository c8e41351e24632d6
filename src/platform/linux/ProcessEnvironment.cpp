#include "platform/ProcessEnvironment.h"

#include <cstdlib>

namespace tavrelle {

void SetProcessEnvironmentVariable(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace tavrelle
