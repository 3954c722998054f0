#include "platform/command_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/profile_lock.h"
#include "testing/temp_folder.h"

namespace tarvex {
namespace {

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

TEST(CommandSocket, ServerAcceptsClientsAndReplacesADeadOnesSocket) {
  const testing::TempFolder temp("tarvex-socket");
  const std::string path = temp.path() + "/run/d.sock";
  EXPECT_FALSE(ConnectToServer(path).valid());
  {
    CommandServer dead(path);  // leaves its socket file behind when it is killed
  }
  {
    CommandServer server(path);
    EXPECT_FALSE(server.Accept().valid());  // nobody waits: no blocking
    UniqueFd client = ConnectToServer(path);
    ASSERT_TRUE(client.valid());
    UniqueFd accepted = server.Accept();
    ASSERT_TRUE(accepted.valid());
    ASSERT_TRUE(WriteFrame(client.get(), 'Q', "hi"));
    Frame frame;
    ASSERT_TRUE(ReadFrame(accepted.get(), &frame));
    EXPECT_EQ(frame.data, "hi");
    EXPECT_EQ(
        std::filesystem::status(temp.path() + "/run").permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_all);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
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

}  // namespace
}  // namespace tarvex
