// Every test program logs its reported errors into a folder of the test runs' own, so that
// nothing is written beside the program in the build tree.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

struct TestLogFolder {
  TestLogFolder() {
    if (const char* set = std::getenv("TAVRIK_LOG_DIR"); set && *set) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavrik-test-logs-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    setenv("TAVRIK_LOG_DIR", folder.c_str(), 1);
  }
};

const TestLogFolder g_testLogFolder;

}  // namespace
