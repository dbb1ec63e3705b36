#include "host/window_messages.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "win32/win32.h"

namespace host {
namespace {

socklen_t SocketAddress(int64_t window, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  const std::string name = WindowSocketName(window);
  // Abstract names start with a NUL; longer names are cut to what the address holds.
  const size_t n = std::min(name.size(), sizeof address->sun_path - 1);
  std::memcpy(address->sun_path + 1, name.data(), n);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

void PutU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t GetU32(const unsigned char* at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(at[i]) << (8 * i);
  return value;
}

}  // namespace

std::string WindowSocketName(int64_t window) { return win32::IpcPrefix() + "footlight-window-" + std::to_string(window); }

void EncodeWindowMessage(const WindowMessage& message, unsigned char (&bytes)[kWindowMessageBytes]) {
  PutU32(bytes, message.message);
  PutU32(bytes + 4, message.wParam);
  PutU32(bytes + 8, message.lParam);
}

bool DecodeWindowMessage(const unsigned char* bytes, size_t size, WindowMessage* out) {
  if (bytes == nullptr || size != kWindowMessageBytes) return false;
  out->message = GetU32(bytes);
  out->wParam = GetU32(bytes + 4);
  out->lParam = GetU32(bytes + 8);
  return true;
}

bool PostWindowMessage(int64_t window, const WindowMessage& message) {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address;
  const socklen_t length = SocketAddress(window, &address);
  unsigned char bytes[kWindowMessageBytes];
  EncodeWindowMessage(message, bytes);
  ssize_t sent;
  do {
    sent = sendto(fd, bytes, sizeof bytes, 0, reinterpret_cast<const sockaddr*>(&address), length);
  } while (sent < 0 && errno == EINTR);
  close(fd);
  return sent == static_cast<ssize_t>(sizeof bytes);
}

MessageEndpoint::~MessageEndpoint() { Close(); }

bool MessageEndpoint::Open(int64_t window) {
  Close();
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  sockaddr_un address;
  const socklen_t length = SocketAddress(window, &address);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void MessageEndpoint::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::vector<WindowMessage> MessageEndpoint::Drain() {
  std::vector<WindowMessage> out;
  if (fd_ < 0) return out;
  for (;;) {
    // One byte more than a record, so that a longer datagram shows as one.
    unsigned char bytes[kWindowMessageBytes + 1];
    const ssize_t n = recv(fd_, bytes, sizeof bytes, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    WindowMessage message;
    if (DecodeWindowMessage(bytes, static_cast<size_t>(n), &message)) out.push_back(message);
  }
  return out;
}

}  // namespace host
