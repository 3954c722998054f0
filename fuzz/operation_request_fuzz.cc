// Feeds arbitrary bytes to the daemon's side of the operations as one
// client's request, over files and settings in memory with a real word
// database, and checks what must hold whatever a client sends: the owner
// answers with one result frame that reads as a status and the boxes shown,
// and a request it refused changed nothing.
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/remote_operations.h"
#include "ops/wire.h"
#include "testing/dialog_operations.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvex;
  MemoryFileSystem fs;
  MemorySettingsStore store;
  WriteStringValue(store, "WordFilePath", "/p/words.db");
  WriteStringValue(store, "BlackListPath", "/p/black.xml");
  fs.files()["/p/black.xml"] = "<BlackList><Domain Name=\"spam.example\" /></BlackList>\n";
  ManualClock clock{1'700'000'000};
  BayesFilter filter(clock, fs);
  filter.LoadAtStartup(FilterSettings(store));
  RecordingUi ui;
  RoutedUi routed(ui);
  testing::DialogOperations ops(fs, store, routed, &filter);

  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return 0;
  UniqueFd caller(ends[0]);
  const auto before = fs.files();
  ServeOperation(UniqueFd(ends[1]),
                 Frame{'O', std::string(reinterpret_cast<const char*>(data), size)}, ops, routed);
  Frame result;
  Check(ReadFrame(caller.get(), &result));
  Check(result.type == 'r');
  WireReader in(result.data);
  Status status;
  std::vector<ShownBox> boxes;
  in.Read(status);
  in.Read(boxes);
  Check(in.ok());
  // Boxes go to the client, never to the owner's own interface.
  Check(ui.boxes.empty());
  if (status.message().find("could not read the request") != std::string::npos) {
    Check(fs.files() == before);
  }
  return 0;
}
