// Window messages between processes: a host window is named by a number (the host's process
// id) and listens on a datagram socket of that name; another process posts it a message as a
// 12-byte record {message, wParam, lParam}, each a little-endian u32.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct WindowMessage {
  uint32_t message = 0;
  uint32_t wParam = 0;
  uint32_t lParam = 0;
};

constexpr size_t kWindowMessageBytes = 12;

// The socket name of a window (an abstract name: nothing is left on disk), after the platform's
// prefix of shared names.
std::string WindowSocketName(int64_t window);

// The record as it travels, and back; Decode refuses any other length.
void EncodeWindowMessage(const WindowMessage& message, unsigned char (&bytes)[kWindowMessageBytes]);
bool DecodeWindowMessage(const unsigned char* bytes, size_t size, WindowMessage* out);

// Posts a message to the window; false when no window of that number listens.
bool PostWindowMessage(int64_t window, const WindowMessage& message);

// The receiving end of one window: bound while open, drained without waiting.
class MessageEndpoint {
 public:
  MessageEndpoint() = default;
  ~MessageEndpoint();
  MessageEndpoint(const MessageEndpoint&) = delete;
  MessageEndpoint& operator=(const MessageEndpoint&) = delete;

  // Binds the window's socket; false when it cannot (another endpoint holds the name).
  bool Open(int64_t window);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  // The socket, readable while messages wait: for a caller that blocks until one comes.
  int Descriptor() const { return fd_; }
  // The messages waiting, oldest first; records of a wrong length are dropped.
  std::vector<WindowMessage> Drain();

 private:
  int fd_ = -1;
};

}  // namespace host
