// kvr-panel as a user runs it: numbers that are no numbers refused on the command line, a run that
// cannot write all its output (a disk that fills up) or is stopped leaving nothing partial behind, and an
// --out folder whose files the run did not write left alone; eval's outputs the same way.
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
  fs::path dir = fs::temp_directory_path() / ("kvr_cli_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
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
    fs::path file = dir / "cruise.toml";
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
  std::ofstream(out / ".kvr-panel-output") << "events.csv\nsummary.txt\n";
  // Files may grow to 32 KB (64 blocks of 512 bytes): the audio alone outgrows that in three seconds. A
  // write past the limit fails as on a full disk.
  EXPECT_EQ(
      Run("trap '' XFSZ; ulimit -f 64; exec $KVR_PANEL run '" + scenario.string() + "' --out '" + out.string() + "'"),
      1);
  EXPECT_NE(Output().find("the partial output was removed; " + out.string() + " is unchanged"), std::string::npos)
      << Output();
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

// A previous output is known only by its marker, and a run replaces only the files the marker lists.
TEST_F(KvrPanel, ARunReplacesOnlyWhatARunWrote) {
  const fs::path scenario = Scenario(3);
  const fs::path out = dir / "out";
  const std::string run = "$KVR_PANEL run --batch '" + scenario.string() + "' --out '" + out.string() + "'";
  ASSERT_EQ(Run(run), 0) << Output();
  struct Case {
    const char* what;
    const char* marker;    // written over the run's marker; null: the run's own
    const char* userFile;  // a file of the user's put into the output folder
    int status;
    const char* message;
  } cases[] = {
      {"notes beside a previous output", nullptr, "notes.txt", 0, ""},
      {"no marker: a folder of the user's", "", "notes.txt", 1, "holds files that are not a run's output"},
      {"a marker that climbs out", "../victim.txt\n", "notes.txt", 1, "is not a file inside the output folder"},
      {"a file of the user's where the run writes", "summary.txt\n", "events.csv", 1, "was not written by a run"},
  };
  std::ofstream(dir / "victim.txt") << "mine\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.marker != nullptr && *c.marker == 0) fs::remove(out / ".kvr-panel-output");
    else if (c.marker != nullptr) std::ofstream(out / ".kvr-panel-output") << c.marker;
    std::ofstream(out / c.userFile) << "mine\n";
    EXPECT_EQ(Run(run), c.status) << Output();
    EXPECT_NE(Output().find(c.message), std::string::npos) << Output();
    EXPECT_EQ(Text(out / c.userFile), "mine\n");
    EXPECT_EQ(Text(dir / "victim.txt"), "mine\n");
    if (c.status == 0) {
      EXPECT_NE(Text(out / "events.csv").find("timeS,"), std::string::npos);
    }
    // Each case starts again from a run's output.
    fs::remove_all(out);
    ASSERT_EQ(Run(run), 0) << Output();
  }
}

// SIGTERM or SIGINT in the middle of a run: the staging folder goes, and the process still ends by the
// signal.
TEST_F(KvrPanel, AStoppedRunRemovesItsPartialOutput) {
  const fs::path scenario = Scenario(3600);
  // Job control on, so that the background run does not start with SIGINT ignored; the signal is sent
  // once the run has made its staging folder.
  const fs::path script = dir / "stop.sh";
  std::ofstream(script) << "set -m\n\"$1\" run --batch --realtime '" << scenario.string() << "' --out '"
                        << (dir / "out").string() << "' & pid=$!\n"
                        << "staged() { ls -a '" << dir.string() << "' | grep -q '^\\.out\\.partial'; }\n"
                        << "for i in $(seq 600); do staged && break; sleep 0.05; done\n"
                        << "sleep 0.5; staged || exit 99\nkill -$2 $pid\nwait $pid\n";
  for (const char* signal : {"TERM", "INT"}) {
    SCOPED_TRACE(signal);
    EXPECT_EQ(Run("bash '" + script.string() + "' \"$KVR_PANEL\" " + signal),
              128 + (std::string(signal) == "TERM" ? 15 : 2))
        << Output();
    for (const auto& entry : fs::directory_iterator(dir))
      EXPECT_EQ(entry.path().filename().string().find(".out."), std::string::npos) << entry.path();
    EXPECT_FALSE(fs::exists(dir / "out"));
  }
}

// eval writes everything it has, and says by its exit status that an encounter failed; a full disk
// leaves no report picture cut short.
TEST_F(KvrPanel, EvalWritesWhatItHasAndOnlyWholeFiles) {
  const std::string set = (dir / "set").string();
  ASSERT_EQ(Run("$KVR_PANEL encounters --count 2 --seed 5 --out '" + set + "'"), 0) << Output();
  std::ofstream(dir / "set" / "enc_000002.txt") << "not a paired-track file\n";
  EXPECT_EQ(Run("$KVR_PANEL eval '" + set + "' --jobs 1 --out '" + (dir / "out").string() + "'"), 3) << Output();
  EXPECT_NE(Output().find("1 of 2 encounters failed"), std::string::npos) << Output();
  EXPECT_NE(Text(dir / "out" / "results.csv").find("\n1,enc_000002,,"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "out" / "report.png"));
  // Files may grow to 8 KB: results.csv and report.md fit, report.png does not.
  EXPECT_EQ(Run("trap '' XFSZ; ulimit -f 16; exec $KVR_PANEL eval '" + set + "' --jobs 1 --out '" +
                (dir / "full").string() + "'"),
            1)
      << Output();
  EXPECT_FALSE(fs::exists(dir / "full" / "report.png"));
  for (const auto& entry : fs::directory_iterator(dir / "full"))
    EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace kvr::host
