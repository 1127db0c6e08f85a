// Outputs that already exist: what is refused before anything renders, what
// --skip-existing keeps without a look, and what a replaced file keeps.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>

#include "cli/command.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

const std::string kNotRegular = "not a regular file (a FIFO, socket or device)";
std::string ReadOnly(const char* mode) {
  return std::string("the file is read-only (mode ") + mode +
         "); make it writable to have it replaced, or name another OUTPUT";
}

class CliExistingOutputs : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    cli::WriteImage(Path("in.png"), CelImage(24, 16, 8));
    cli::WriteImage(Path("old.png"), FlatImage(2, 2, 8, 1, 2, 3, 255));
  }
  void ReadOnlyCopy(const std::string& name, unsigned mode) {
    fs::copy_file(Path("old.png"), Path(name));
    fs::permissions(Path(name), fs::perms(mode));
  }
};

TEST_F(CliExistingOutputs, WhatCannotBeReplacedIsRefusedUnlessSkipExistingKeepsIt) {
  ASSERT_EQ(::mkfifo(Path("fifo.png").c_str(), 0666), 0);
  // Bound from inside the folder: a socket's address holds about 100 characters.
  const fs::path here = fs::current_path();
  fs::current_path(dir_);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, "socket.tif", sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  fs::current_path(here);
  fs::create_symlink("/dev/null", Path("device.exr"));  // links are followed
  fs::create_directory(Path("folder.png"));
  ReadOnlyCopy("locked.png", 0444);
  ReadOnlyCopy("target.png", 0440);
  fs::create_symlink(Path("target.png"), Path("link.png"));
  const std::vector<std::string> before = Files();
  const std::string old = ReadBytes(Path("old.png"));

  for (const auto& [name, why] : {std::pair{"fifo.png", kNotRegular},
                                  {"socket.tif", kNotRegular},
                                  {"device.exr", kNotRegular},
                                  {"folder.png", std::string("it is a folder")},
                                  {"locked.png", ReadOnly("0444")},
                                  {"link.png", ReadOnly("0440")}}) {
    SCOPED_TRACE(name);
    CommandResult r = RunRender({Path("in.png"), Path(name)});
    EXPECT_EQ(r.status, cli::kExitUsage);
    EXPECT_EQ(r.output, "corvalin: error: cannot write " + Path(name) + ": " + why + "\n");
    r = RunRender({Path("in.png"), Path(name), "--skip-existing"});
    EXPECT_EQ(r.status, cli::kExitOk);
    EXPECT_EQ(r.output, "[1/1] kept " + Path(name) + " (it exists)\n");
  }
  EXPECT_EQ(Files(), before);  // no temporary, nothing replaced
  EXPECT_EQ(fs::symlink_status(Path("fifo.png")).type(), fs::file_type::fifo);
  EXPECT_EQ(fs::symlink_status(Path("socket.tif")).type(), fs::file_type::socket);
  EXPECT_EQ(fs::read_symlink(Path("device.exr")), "/dev/null");
  EXPECT_TRUE(fs::is_directory(Path("folder.png")));
  EXPECT_EQ(ReadBytes(Path("locked.png")), old);
  EXPECT_EQ(Mode(Path("locked.png")), 0444u);
  EXPECT_EQ(fs::read_symlink(Path("link.png")), Path("target.png"));
  EXPECT_EQ(ReadBytes(Path("target.png")), old);
}

TEST_F(CliExistingOutputs, EveryFrameIsCheckedBeforeTheFirstRenders) {
  ASSERT_EQ(::mkfifo(Path("out.0003.png").c_str(), 0666), 0);
  CommandResult r = RunRender({Path("in.png"), Path("out.####.png"), "--frames", "1-4"});
  EXPECT_EQ(r.status, cli::kExitUsage);
  EXPECT_EQ(r.output,
            "corvalin: error: cannot write " + Path("out.0003.png") + ": " + kNotRegular + "\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", "old.png", "out.0003.png"}));

  r = RunRender({Path("in.png"), Path("out.####.png"), "--frames", "2-4", "--skip-existing", "-q"});
  EXPECT_EQ(r.status, cli::kExitOk) << r.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", "old.png", "out.0002.png", "out.0003.png",
                                               "out.0004.png"}));
  EXPECT_TRUE(fs::is_fifo(Path("out.0003.png")));
}

TEST_F(CliExistingOutputs, AReplacedFileKeepsItsModeAndOwnerANewOneFollowsTheUmask) {
  // Under umask 077 a new file is 0600: the other modes below are kept, not made.
  const std::string prelude = "umask 077; exec ";
  ASSERT_EQ(RunRender({Path("in.png"), Path("new.exr")}, prelude).status, 0);
  EXPECT_EQ(Mode(Path("new.exr")), 0600u);
  const bool root = ::geteuid() == 0;  // only root may give a file away
  for (const auto& [name, mode] :
       {std::pair{"shared.png", 0664u}, {"odd.png", 0604u}, {"shared.exr", 0640u}}) {
    SCOPED_TRACE(name);
    ReadOnlyCopy(name, mode);
    if (root) {
      ASSERT_EQ(::chown(Path(name).c_str(), 4321, 8765), 0);
    }
    ASSERT_EQ(RunRender({Path("in.png"), Path(name)}, prelude).status, 0);
    EXPECT_EQ(Mode(Path(name)), mode);
    EXPECT_NE(ReadBytes(Path(name)), ReadBytes(Path("old.png")));  // the render, in place
    struct stat st {};
    ASSERT_EQ(::stat(Path(name).c_str(), &st), 0);
    if (root) {
      EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(4321u, 8765u));
    }
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", "new.exr", "odd.png", "old.png",
                                               "shared.exr", "shared.png"}));
}

TEST_F(CliExistingOutputs, AnOutputChangedWhileItsFrameRendersIsRefusedAndTheTemporaryRemoved) {
  const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> changes = {
      {"it is a folder", [](const std::string& p) { fs::create_directories(p + "/inside"); }},
      {kNotRegular, [](const std::string& p) { ::mkfifo(p.c_str(), 0666); }},
      {ReadOnly("0400"),
       [](const std::string& p) {
         std::ofstream(p) << "kept";
         fs::permissions(p, fs::perms(0400));
       }},
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    const std::string out = Path("out" + std::to_string(i) + ".png");
    cli::FrameWriter writer(out, 2, 1, cli::OutputLayout{});
    const uint8_t row[8] = {10, 20, 30, 255, 40, 50, 60, 255};
    writer.WriteRows(0, 1, row, sizeof row);
    changes[i].second(out);
    try {
      writer.Finish();
      ADD_FAILURE() << "replaced " << out;
    } catch (const cli::CliError& e) {
      EXPECT_EQ(std::string(e.what()), "cannot write " + out + ": " + changes[i].first);
    }
  }
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"in.png", "old.png", "out0.png", "out1.png", "out2.png"}));
  EXPECT_TRUE(fs::is_directory(Path("out0.png/inside")));
  EXPECT_TRUE(fs::is_fifo(Path("out1.png")));
  EXPECT_EQ(ReadBytes(Path("out2.png")), "kept");
}

}  // namespace
}  // namespace corvalin::clitest
