#include "platform/command_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/glib_event_loop.h"
#include "platform/profile_lock.h"
#include "testing/temp_folder.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A user id no account has, for what another user does.
constexpr uid_t kOtherUser = 65534;

std::string Head(char type, uint32_t length) {
  std::string head(1, type);
  for (int i = 0; i < 4; ++i) head.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  return head;
}

std::string Encoded(const Frame& frame) {
  return Head(frame.type, static_cast<uint32_t>(frame.data.size())) + frame.data;
}

// Feeds stream to a decoder in pieces of piece bytes; the frames it gave.
std::vector<Frame> Decode(FrameDecoder& decoder, const std::string& stream, size_t piece,
                          bool* ok) {
  std::vector<Frame> frames;
  *ok = true;
  for (size_t at = 0; at < stream.size() && *ok; at += piece) {
    *ok = decoder.Feed(std::string_view(stream).substr(at, piece), &frames);
  }
  return frames;
}

// A client connected to path that sends bytes and then waits.
UniqueFd Client(const std::string& path, const std::string& bytes) {
  std::string problem;
  UniqueFd fd = ConnectToServer(path, &problem);
  EXPECT_TRUE(fd.valid()) << problem;
  if (!bytes.empty()) {
    EXPECT_EQ(send(fd.get(), bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
  }
  return fd;
}

// Whether the server hung up on fd (an end of file within a second).
bool HungUp(int fd) {
  timeval timeout{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  char byte;
  return recv(fd, &byte, 1, 0) == 0;
}

TEST(FrameDecoder, GivesTheSameFramesWhateverPiecesTheBytesComeIn) {
  const std::vector<Frame> frames = {
      {'Q', "stats"}, {'x', ""}, {'o', std::string(70000, 'y')}, {'e', std::string("a\0b", 3)}};
  std::string stream;
  for (const Frame& frame : frames) stream += Encoded(frame);
  for (size_t piece : {size_t{1}, size_t{2}, size_t{5}, size_t{7}, size_t{4096}, stream.size()}) {
    FrameDecoder decoder;
    bool ok;
    EXPECT_EQ(Decode(decoder, stream, piece, &ok), frames) << piece;
    EXPECT_TRUE(ok && !decoder.failed()) << piece;
  }
  // Half a frame is kept for later, not given.
  FrameDecoder decoder;
  std::vector<Frame> out;
  EXPECT_TRUE(decoder.Feed(stream.substr(0, 8), &out));
  EXPECT_TRUE(out.empty());
}

TEST(FrameDecoder, RefusesWhatBreaksALimitAsSoonAsItShows) {
  struct Case {
    const char* what;
    std::string stream;
    size_t framesBefore;  // given before the refusal
    const char* error;    // empty: no refusal
  };
  const size_t maxFrame = 100, maxStream = 250;
  const std::string full = Encoded({'Q', std::string(100, 'a')});
  const Case cases[] = {
      {"a frame at the limit", full, 1, ""},
      {"a head announcing one byte more", Head('Q', 101), 0,
       "a frame of 101 bytes is over the limit"},
      {"a head announcing 4 GiB", Head('Q', 0xFFFFFFFF), 0, "over the limit of 100"},
      {"frames past the stream's bound", full + full + full, 2, "more than 250 bytes"},
      {"a byte past the stream's bound", full + full + Head('Q', 50) + std::string(36, 'x'), 2,
       "more than 250"},
      {"bytes up to the stream's bound", full + full + Head('Q', 50) + std::string(35, 'x'), 2, ""},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{3}, c.stream.size()}) {
      FrameDecoder decoder(maxFrame, maxStream);
      bool ok;
      EXPECT_EQ(Decode(decoder, c.stream, piece, &ok).size(), c.framesBefore) << c.what;
      EXPECT_EQ(ok, *c.error == '\0') << c.what << " " << piece;
      EXPECT_NE(decoder.error().find(c.error), std::string::npos) << c.what << decoder.error();
      if (!ok) {  // failed for good
        std::vector<Frame> later;
        EXPECT_FALSE(decoder.Feed(full, &later)) << c.what;
        EXPECT_TRUE(later.empty());
      }
    }
  }
  // The refusal comes with the head's last byte, before any of the body.
  FrameDecoder decoder(maxFrame, maxStream);
  std::vector<Frame> out;
  const std::string head = Head('Q', 101);
  EXPECT_TRUE(decoder.Feed(head.substr(0, 4), &out));
  EXPECT_FALSE(decoder.Feed(head.substr(4), &out));
}

TEST(CommandSocket, FramesAndStringListsSurviveTheTrip) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  UniqueFd a(pair[0]), b(pair[1]);
  const std::vector<std::string> strings = {"", "tarvex", std::string("a\0b", 3),
                                            std::string(70000, 'x')};
  std::thread writer([&] {
    EXPECT_TRUE(WriteFrame(a.get(), 'Q', PackStrings(strings)));
    EXPECT_TRUE(WriteFrame(a.get(), 'x', ""));
  });
  Frame frame;
  std::vector<std::string> unpacked;
  ASSERT_TRUE(ReadFrame(b.get(), &frame));
  EXPECT_EQ(frame.type, 'Q');
  ASSERT_TRUE(UnpackStrings(frame.data, &unpacked));
  EXPECT_EQ(unpacked, strings);
  ASSERT_TRUE(ReadFrame(b.get(), &frame));
  EXPECT_EQ(frame.type, 'x');
  EXPECT_EQ(frame.data, "");
  writer.join();

  // A list cut short, a length past the end, a peer gone mid-frame.
  const std::string packed = PackStrings({"abc"});
  EXPECT_FALSE(UnpackStrings(packed.substr(0, 2), &unpacked));
  EXPECT_FALSE(UnpackStrings(packed.substr(0, packed.size() - 1), &unpacked));
  const std::string cut = std::string("Q\x05", 2) + std::string(3, '\0') + "ab";  // 5 promised
  ASSERT_EQ(write(a.get(), cut.data(), cut.size()), 7);
  a.reset();
  EXPECT_FALSE(ReadFrame(b.get(), &frame));
}

class CommandServerTest : public ::testing::Test {
 protected:
  // Runs the loop until a callback quits it, or for at most ten seconds.
  void Run() {
    const unsigned guard = loop_.Every(10000, [this] {
      ADD_FAILURE() << "the loop did not end";
      loop_.Quit();
    });
    loop_.Run();
    loop_.RemoveSource(guard);
  }
  // Runs the loop until done holds.
  void RunUntil(const std::function<bool()>& done) {
    const unsigned poll = loop_.Every(10, [&] {
      if (done()) loop_.Quit();
    });
    Run();
    loop_.RemoveSource(poll);
  }

  const testing::TempFolder temp_{"tarvex-socket"};
  const std::string path_ = temp_.path() + "/run/d.sock";
  GLibEventLoop loop_;
};

TEST_F(CommandServerTest, AnswersRequestsAndReplacesADeadServersSocket) {
  std::string problem;
  EXPECT_FALSE(ConnectToServer(path_, &problem).valid());
  EXPECT_EQ(problem, "");  // no server yet is no problem
  {
    CommandServer dead(path_);  // leaves its socket file behind when it is killed
  }
  {
    CommandServer server(path_);
    server.Serve(loop_, [&](UniqueFd client, Frame request) {
      EXPECT_EQ(request.data, "hi");
      EXPECT_TRUE(WriteFrame(client.get(), 'x', "0"));
      loop_.Quit();
    });
    UniqueFd client = Client(path_, "");
    ASSERT_TRUE(WriteFrame(client.get(), 'Q', "hi"));
    Run();
    Frame answer;
    ASSERT_TRUE(ReadFrame(client.get(), &answer));
    EXPECT_EQ(answer.data, "0");
    EXPECT_EQ(fs::status(temp_.path() + "/run").permissions() & fs::perms::all,
              fs::perms::owner_all);
  }
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(CommandServerTest, ClientsThatSendLittleOrNothingHoldNoOneUp) {
  CommandServer server(path_);
  Clock::time_point answered;
  server.Serve(
      loop_,
      [&](UniqueFd, Frame request) {
        EXPECT_EQ(request.data, "stats");
        answered = Clock::now();
      },
      1000);
  std::vector<UniqueFd> idle;
  for (int i = 0; i < 3; ++i) idle.push_back(Client(path_, ""));
  idle.push_back(Client(path_, Head('Q', 10) + "abc"));  // half a frame
  const UniqueFd asking = Client(path_, Encoded({'Q', "stats"}));
  const Clock::time_point start = Clock::now();
  RunUntil([&] { return answered != Clock::time_point(); });
  EXPECT_LT(answered - start, std::chrono::milliseconds(800));  // before any idle timeout
  // The silent ones are hung up on after a while, without a request.
  RunUntil([&] { return server.pending() == 0; });
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1000));
  for (const UniqueFd& fd : idle) EXPECT_TRUE(HungUp(fd.get()));
}

TEST_F(CommandServerTest, HangsUpOnAnOversizedFrameAtOnceAndLetsTheQueueWaitWhenFull) {
  int requests = 0;
  {
    CommandServer server(path_);
    server.Serve(
        loop_, [&](UniqueFd, Frame) { ++requests; }, 5000);
    const Clock::time_point start = Clock::now();
    const UniqueFd huge = Client(path_, Head('Q', kMaxFrameBytes + 1));
    RunUntil([&] {
      return server.pending() == 0 && Clock::now() - start > std::chrono::milliseconds(20);
    });
    EXPECT_TRUE(HungUp(huge.get()));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));  // not the idle timeout
  }
  // Two silent clients fill the server; the third waits in the queue, is
  // read when they are gone, and is answered.
  CommandServer server(path_);
  server.Serve(
      loop_, [&](UniqueFd, Frame) { ++requests; }, 200, 2);
  const UniqueFd a = Client(path_, ""), b = Client(path_, "");
  const UniqueFd c = Client(path_, Encoded({'Q', "stats"}));
  RunUntil([&] { return requests == 1; });
  EXPECT_TRUE(HungUp(a.get()) && HungUp(b.get()));
}

TEST(PrivateFolder, OnlyARealFolderOfThisUserThatNoOneElseMayEnter) {
  const testing::TempFolder temp("tarvex-private");
  const std::string base = temp.path();
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* problem;  // empty: fine
  };
  const Case cases[] = {
      {"private", [](const std::string& p) { mkdir(p.c_str(), 0700); }, ""},
      {"open", [](const std::string& p) { mkdir(p.c_str(), 0700), chmod(p.c_str(), 0777); },
       "its mode 0777 lets other users in (it must be 0700)"},
      {"group", [](const std::string& p) { mkdir(p.c_str(), 0750); }, "its mode 0750"},
      {"link",
       [&](const std::string& p) {
         mkdir((base + "/target").c_str(), 0700);
         symlink((base + "/target").c_str(), p.c_str());
       },
       "it is a symbolic link"},
      {"file", [](const std::string& p) { std::fclose(std::fopen(p.c_str(), "w")); },
       "it is not a folder"},
      {"missing", [](const std::string&) {}, "No such file"},
  };
  for (const Case& c : cases) {
    const std::string folder = base + "/" + c.name;
    c.make(folder);
    const std::string problem = PrivateFolderProblem(folder);
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "") << c.name;
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
    }
    // Neither side uses a folder that is not private.
    if (*c.problem == '\0' || std::string(c.name) == "missing") continue;
    EXPECT_THROW(CommandServer(folder + "/d.sock"), std::runtime_error) << c.name;
    std::string said;
    EXPECT_FALSE(ConnectToServer(folder + "/d.sock", &said).valid());
    EXPECT_EQ(said, folder + ": not a private folder: " + problem) << c.name;
  }
}

// Runs as another user in a child process; the child's exit code.
int AsOtherUser(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(setgid(kOtherUser) == 0 && setuid(kOtherUser) == 0 ? body() : 99);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST(PrivateFolder, AnotherUsersFolderOrListenerIsNotTalkedTo) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const testing::TempFolder temp("tarvex-peer");
  chmod(temp.path().c_str(), 0755);
  const std::string folder = temp.path() + "/run";
  // The other user's own private folder, where this user (root) listens.
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(chown(folder.c_str(), kOtherUser, kOtherUser), 0);
  const std::string path = folder + "/d.sock";
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(listen(listener.get(), 4), 0);
  EXPECT_EQ(AsOtherUser([&] {
              std::string problem;
              const bool connected = ConnectToServer(path, &problem).valid();
              return !connected && problem == path +
                                                  ": the process listening there runs as user "
                                                  "0, not as you"
                         ? 0
                         : 1;
            }),
            0);
  // It connected, looked and went without a byte.
  UniqueFd peer(accept(listener.get(), nullptr, nullptr));
  ASSERT_TRUE(peer.valid());
  char byte;
  EXPECT_EQ(recv(peer.get(), &byte, 1, 0), 0);

  // This user's folder is the other user's wrong folder.
  ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);
  EXPECT_EQ(AsOtherUser([&] {
              std::string problem;
              ConnectToServer(path, &problem);
              return problem == folder + ": not a private folder: it belongs to user 0" ? 0 : 1;
            }),
            0);
}

TEST(ProfileLock, OneHolderAtATime) {
  const testing::TempFolder temp("tarvex-lock");
  const std::string path = temp.path() + "/settings.reg.lock";
  pid_t holder = -1;
  {
    std::optional<ProfileLock> first = ProfileLock::TryAcquire(path, &holder);
    ASSERT_TRUE(first);
    EXPECT_FALSE(ProfileLock::TryAcquire(path, &holder));
    EXPECT_EQ(holder, getpid());
    std::optional<ProfileLock> moved = std::move(first);
    first.reset();  // the moved-from lock lets nothing go
    EXPECT_FALSE(ProfileLock::TryAcquire(path, &holder));
  }
  EXPECT_TRUE(ProfileLock::TryAcquire(path, &holder));
  EXPECT_THROW(ProfileLock::TryAcquire(temp.path() + "/no/such/lock", &holder), std::runtime_error);
}

TEST(ProfileLock, WaitsAWhileForAHolderThatIsGoing) {
  const testing::TempFolder temp("tarvex-lock");
  const std::string path = temp.path() + "/settings.reg.lock";
  pid_t holder = -1;
  std::optional<ProfileLock> going = ProfileLock::TryAcquire(path, &holder);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    going.reset();
  });
  EXPECT_TRUE(ProfileLock::AcquireWithin(path, std::chrono::seconds(5), &holder));
  release.join();

  std::optional<ProfileLock> staying = ProfileLock::TryAcquire(path, &holder);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(ProfileLock::AcquireWithin(path, std::chrono::milliseconds(200), &holder));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(holder, getpid());
}

}  // namespace
}  // namespace tarvex
