// Window messages between processes: the record as it travels, the endpoint of a host window,
// and the host's pump into "system_messages".
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/generic_object.h"
#include "host/host.h"
#include "host/window_messages.h"
#include "win32/win32.h"

namespace {

void UseOwnSharedNames() {
  static const std::string prefix = "test-window-" + std::to_string(::getpid()) + "-";
  ::setenv("FOOTLIGHT_IPC_PREFIX", prefix.c_str(), 1);
}

TEST(WindowMessages, TheRecordIsTwelveLittleEndianBytes) {
  unsigned char bytes[host::kWindowMessageBytes];
  host::EncodeWindowMessage({0x401, 0x01020304u, 0xFFFFFFFEu}, bytes);
  const unsigned char expected[12] = {0x01, 0x04, 0, 0, 0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(bytes, expected, 12), 0);
  host::WindowMessage back;
  ASSERT_TRUE(host::DecodeWindowMessage(bytes, 12, &back));
  EXPECT_EQ(back.message, 0x401u);
  EXPECT_EQ(back.wParam, 0x01020304u);
  EXPECT_EQ(back.lParam, 0xFFFFFFFEu);
  EXPECT_FALSE(host::DecodeWindowMessage(bytes, 11, &back));
  EXPECT_FALSE(host::DecodeWindowMessage(bytes, 13, &back));
  EXPECT_FALSE(host::DecodeWindowMessage(nullptr, 12, &back));
}

TEST(WindowMessages, AnEndpointReceivesInOrderDropsBadRecordsAndHoldsItsName) {
  UseOwnSharedNames();
  const int64_t window = 7000000 + ::getpid();
  EXPECT_FALSE(host::PostWindowMessage(window, {1, 2, 3}));  // nobody listens yet
  host::MessageEndpoint endpoint;
  ASSERT_TRUE(endpoint.Open(window));
  host::MessageEndpoint second;
  EXPECT_FALSE(second.Open(window));
  EXPECT_TRUE(endpoint.Drain().empty());

  ASSERT_TRUE(host::PostWindowMessage(window, {0x401, 0, 0}));
  // A datagram of the wrong length, sent by hand, is dropped.
  const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name = host::WindowSocketName(window);
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const char junk[13] = {};
  sendto(fd, junk, sizeof junk, 0, reinterpret_cast<sockaddr*>(&address),
         static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size()));
  close(fd);
  ASSERT_TRUE(host::PostWindowMessage(window, {0x16f0, 1, 2}));

  const auto got = endpoint.Drain();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].message, 0x401u);
  EXPECT_EQ(got[1].message, 0x16f0u);
  EXPECT_EQ(got[1].lParam, 2u);
  endpoint.Close();
  EXPECT_FALSE(host::PostWindowMessage(window, {1, 2, 3}));
  EXPECT_TRUE(second.Open(window));  // the name is free again
}

TEST(WindowMessages, TheNameCarriesThePrefixOfSharedNames) {
  ::setenv("FOOTLIGHT_IPC_PREFIX", "run-a-", 1);
  const std::string a = host::WindowSocketName(42);
  ::setenv("FOOTLIGHT_IPC_PREFIX", "run-b-", 1);
  EXPECT_NE(a, host::WindowSocketName(42));
  EXPECT_EQ(a.rfind("run-a-", 0), 0u);
  EXPECT_NE(a.find("42"), std::string::npos);
}

TEST(WindowMessages, TheHostWindowIsItsProcessAndEachFramePumpsFirst) {
  UseOwnSharedNames();
  host::ReferenceHost host;
  auto listeners = host::RegisterRecordingClass(host, "Listener");
  ComponentHandle handle{};
  ASSERT_TRUE(host.CreateObject(&handle, "Listener"));
  host.Subscribe("system_messages", handle, 3);
  host.Subscribe("execute", handle, 3);
  EXPECT_EQ(reinterpret_cast<intptr_t>(host.GetWindowHandle()), static_cast<intptr_t>(::getpid()));
  EXPECT_EQ(host.PumpMessages(), 0u);  // no endpoint: nothing to pump
  ASSERT_TRUE(host.OpenMessageEndpoint());
  ASSERT_TRUE(host::PostWindowMessage(::getpid(), {0x401, 5, 6}));
  ASSERT_TRUE(host::PostWindowMessage(::getpid(), {0x402, 7, 8}));
  host.Execute(16);
  std::vector<host::SlotCall> calls;
  for (const auto& c : listeners->Objects().at(0)->Calls())
    if (c.slot != "Init") calls.push_back(c);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].slot, "OnSystemMessage");
  EXPECT_EQ(calls[0].args, (std::vector<int64_t>{0x401, 5, 6}));
  EXPECT_EQ(calls[1].args, (std::vector<int64_t>{0x402, 7, 8}));
  EXPECT_EQ(calls[2].slot, "Execute");
  EXPECT_EQ(host.PumpMessages(), 0u);
  host.DestroyAll();
}

}  // namespace
