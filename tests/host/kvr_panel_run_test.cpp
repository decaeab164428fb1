// kvr-panel as a user runs it: numbers that are no numbers refused on the command line, and a run that
// cannot write all its output (a disk that fills up) leaving nothing partial behind.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

class KvrPanel : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() /
                 ("kvr_cli_" + std::to_string(::getpid()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }

  // Runs `shell` (with $KVR_PANEL set) and gives its exit status; its output lands in Output().
  int Run(const std::string& shell) {
    const std::string command = "KVR_PANEL='" + (testing::BinDir() / "kvr-panel").string() + "'; (" + shell + ") >'" +
                                (dir / "output.txt").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Output() const { return Text(dir / "output.txt"); }
  static std::string Text(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // A level cruise of `seconds` on the shipped panel.
  fs::path Scenario(int seconds) {
    const fs::path file = dir / "cruise.toml";
    std::ofstream(file) << "panel = \"" << (testing::SourceDir() / "scenarios" / "panel.cfg").string() << "\"\n"
                        << "durationS = " << seconds << "\n"
                        << "[own]\nlatitudeDeg = 47\nlongitudeDeg = 8\npressureAltitudeFt = 5000\nheadingDeg = 0\n"
                        << "groundSpeedKt = 200\n";
    return file;
  }
};

// Usage errors exit with 2, as command-line tools do, whatever CLI11's own code for them.
TEST_F(KvrPanel, UsageErrorsAndNumbersThatAreNoNumbersExitWithTwo) {
  const std::string panel = (testing::SourceDir() / "scenarios" / "panel.cfg").string();
  const std::pair<std::string, const char*> cases[] = {
      {"--fps nan " + panel, "--fps: must be a finite number, not nan"},
      {"--fps 1e999 " + panel, "--fps"},
      {"live " + panel + " --seconds nan", "--seconds: must be a finite number, not nan"},
      {"live " + panel + " --seconds=-inf", "--seconds"},
      {"run", "scenario is required"},
      {"run '" + dir.string() + "'", "directory"},
      {"--frobnicate " + panel, "--frobnicate"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args);
    // A bounded wait: an option taken as NaN once made `live` run for ever.
    EXPECT_EQ(Run("timeout 20 $KVR_PANEL " + args), 2);
    EXPECT_NE(Output().find(message), std::string::npos) << Output();
  }
  EXPECT_EQ(Run("$KVR_PANEL --help"), 0);
}

TEST_F(KvrPanel, ARunThatCannotWriteEverythingLeavesNoPartialOutput) {
  const fs::path scenario = Scenario(20);
  const fs::path out = dir / "out";
  // A previous run's output, which a failed run must leave as it was.
  fs::create_directories(out);
  std::ofstream(out / "events.csv") << "previous\n";
  std::ofstream(out / "summary.txt") << "previous\n";
  // Files may grow to 32 KB (64 blocks of 512 bytes): the audio alone outgrows that in three seconds. A
  // write past the limit fails as on a full disk.
  EXPECT_EQ(Run("trap '' XFSZ; ulimit -f 64; exec $KVR_PANEL run '" + scenario.string() + "' --out '" + out.string() + "'"), 1);
  EXPECT_NE(Output().find("the partial output was removed; " + out.string() + " is unchanged"), std::string::npos) << Output();
  EXPECT_EQ(Text(out / "events.csv"), "previous\n");
  EXPECT_FALSE(fs::exists(out / "audio.wav"));
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".out."), std::string::npos) << entry.path();

  // With room to write, the run takes the previous output's place whole.
  EXPECT_EQ(Run("$KVR_PANEL run '" + scenario.string() + "' --out '" + out.string() + "'"), 0) << Output();
  EXPECT_NE(Text(out / "events.csv"), "previous\n");
  EXPECT_TRUE(fs::exists(out / "audio.wav"));
  EXPECT_TRUE(fs::exists(out / "panel.gif"));
  // A folder that is not a run's output is not replaced.
  std::ofstream(dir / "notes.txt") << "mine\n";
  EXPECT_EQ(Run("$KVR_PANEL run '" + scenario.string() + "' --out '" + dir.string() + "'"), 1);
  EXPECT_NE(Output().find("holds files that are not a run's output"), std::string::npos) << Output();
  EXPECT_EQ(Text(dir / "notes.txt"), "mine\n");
}

}  // namespace
}  // namespace kvr::host
