// The page's folder handles in the whole host, with the player's folders in a home
// folder of the test's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Files.h"
#include "support/HostOnDisplayTest.h"
#include "support/TempDir.h"

namespace tavrelle::test {
namespace {

constexpr uint64_t kBigFileSize = uint64_t{100} << 20;

// Notes the order of the host's messages and the folder handles each grant brings.
const std::string kHandlesPage = DrivenPage("<title>handles</title>", R"(const order = [];
const grants = [];
host.addEventListener('message', (e) => {
  order.push(e.data.type);
  if (e.data.type === 'directory-handles') grants.push(e.additionalObjects);
  if (e.data.type === 'wrapper-init-response' && grants.length === 1) {
    document.title = 'init:' + order.join(',') + ':' +
        grants[0].map((h) => h === null ? '-' : h.kind[0]).join('') + ':' + grants[0][6].name;
  }
});
const docs = () => grants[grants.length - 1][6];
const nameOf = async (promise) => { try { await promise; return 'ok'; } catch (e) { return e.name; } };
const steps = {
  async save() {
    const file = await docs().getFileHandle('save.json', {create: true});
    const stream = await file.createWritable();
    await stream.write('{"gold":');
    await stream.write({type: 'write', data: new TextEncoder().encode('5}')});
    await stream.close();
    const read = await file.getFile();
    return read.name + '=' + await read.text() + '=' + read.type + '=' + (read instanceof File);
  },
  async abort() {
    const file = await docs().getFileHandle('save.json');
    const stream = await file.createWritable({keepExistingData: true});
    await stream.seek(1);
    await stream.write('lost');
    await stream.abort();
    return await (await file.getFile()).text();
  },
  async listing() {
    const slots = await docs().getDirectoryHandle('slots', {create: true});
    const one = await slots.getFileHandle('1.sav', {create: true});
    const names = await Array.fromAsync(docs().entries(), ([name, handle]) => name + '=' + handle.kind);
    const keys = await Array.fromAsync(slots.keys());
    return names.sort().join(',') + ';' + keys.join(',') + ';' + (await docs().resolve(one)).join('/');
  },
  async removal() {
    const busy = await nameOf(docs().removeEntry('slots'));
    await docs().removeEntry('save.json');
    await docs().removeEntry('slots', {recursive: true});
    return busy + ',' + await nameOf(docs().getFileHandle('save.json')) + ',' +
        await nameOf(docs().getDirectoryHandle('slots'));
  },
  names: async () => (await Promise.all(['', '.', '..', 'a/b', '../escape', 'a\0b'].map(
      (name) => nameOf(docs().getFileHandle(name, {create: true}))))).join(','),
  async again() {
    const old = docs();
    const answered = new Promise((resolve) => host.addEventListener('message',
        (e) => e.data.type === 'wrapper-init-response' && resolve()));
    host.postMessage(JSON.stringify({type: 'wrapper-init'}));
    await answered;
    const stale = await nameOf(old.getFileHandle('big.bin'));
    return order.join(',') + ';' + stale + ';' + await old.isSameEntry(docs()) + ';' +
        await docs().queryPermission({mode: 'readwrite'}) + ';' +
        await nameOf(docs().getFileHandle('big.bin'));
  },
  async big() {
    const file = await (await docs().getFileHandle('big.bin')).getFile();
    const whole = new Uint8Array(await file.arrayBuffer());
    let streamed = 0, last = new Uint8Array(0);
    for await (const chunk of file.stream()) {
      streamed += chunk.length;
      last = chunk;
    }
    const tail = new Uint8Array(await file.slice(file.size - 4).arrayBuffer());
    return [file.name, file.type, file.size, whole.length, whole.subarray(-5).join('.'),
            whole.findIndex((byte) => byte !== 0), streamed, last.subarray(-4).join('.'),
            tail.join('.'), await file.slice(file.size - 2).text() === '\x03\x04',
            file.lastModified > 1.6e12, file instanceof File].join(',');
  },
  async changed() {
    const handle = await docs().getFileHandle('note.txt', {create: true});
    const write = async (text) => {
      const stream = await handle.createWritable();
      await stream.write(text);
      await stream.close();
    };
    await write('first version');
    const before = await handle.getFile();
    const early = await before.text();
    await write('2nd');
    return early + ',' + await nameOf(before.text()) + ',' + await (await handle.getFile()).text();
  },
};
)");

using DirectoryHandlesHostTest = HostOnDisplayTest<false, 1024, 768>;

TEST_F(DirectoryHandlesHostTest, ThePageSavesListsRemovesAndReadsWithinItsFolders) {
  game_.write("package.json", R"({"name": "handles-e2e", "window": {"title": "handles"}})");
  game_.write("www/index.html", kHandlesPage);
  TempDir home;
  // Documents come from the user-dirs file; Desktop, Downloads and the rest are missing.
  home.writeFile(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Saves\"\n");
  home.writeSparseFile("Saves/big.bin", kBigFileSize, "\x01\x02\x03\x04");

  HostProcess host(game_, display_->display(), {"HOME=" + home.path(), "XDG_CONFIG_HOME"});
  // The handles come first, one per folder in slot order; missing folders are null.
  const Window window =
      waitForPage(host, "init:directory-handles,wrapper-init-response:ddddd-d--d---:Saves");
  ASSERT_NE(window, 0u);

  EXPECT_EQ(step(window, "save"), "save.json={\"gold\":5}=application/json=true");
  EXPECT_EQ(ReadWholeFile(home.pathOf("Saves/save.json")).value_or(""), "{\"gold\":5}");
  EXPECT_EQ(step(window, "abort"), "{\"gold\":5}");
  EXPECT_EQ(step(window, "listing"),
            "big.bin=file,save.json=file,slots=directory;1.sav;slots/1.sav");
  EXPECT_EQ(step(window, "removal"), "InvalidModificationError,NotFoundError,NotFoundError");
  EXPECT_FALSE(FileExists(home.pathOf("Saves/save.json")));
  EXPECT_EQ(step(window, "names"), "TypeError,TypeError,TypeError,TypeError,TypeError,TypeError");
  EXPECT_EQ(step(window, "again"),
            "directory-handles,wrapper-init-response,directory-handles,wrapper-init-response;"
            "NotFoundError;false;granted;ok");
  // The File holds the file's bytes and no others, whichever way the page reads them.
  const std::string size = std::to_string(kBigFileSize);
  EXPECT_EQ(step(window, "big"), "big.bin,," + size + "," + size + ",0.1.2.3.4," +
                                     std::to_string(kBigFileSize - 4) + "," + size +
                                     ",1.2.3.4,1.2.3.4,true,true,true");
  // As with the browser's own handles, a File stops being readable once its file changed.
  EXPECT_EQ(step(window, "changed"), "first version,NotReadableError,2nd");

  // Nothing of the unfinished writes stays behind.
  const std::filesystem::directory_iterator saves(home.pathOf("Saves"));
  EXPECT_EQ(std::distance(begin(saves), end(saves)), 2);  // big.bin and note.txt
}

}  // namespace
}  // namespace tavrelle::test
