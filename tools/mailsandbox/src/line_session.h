#pragma once
// A protocol session driven by the lines a client sends: the connection hands it each line and
// sends back whatever it answers.

#include <functional>
#include <string>
#include <string_view>

namespace mailsandbox {

// Receives one line per event worth showing to the person who runs the stand-in.
using EventSink = std::function<void(std::string_view)>;

class LineSession {
 public:
  virtual ~LineSession() = default;
  virtual std::string greeting() = 0;
  // One line as received, with its line end ("\r\n", or "\n" from a sloppy client); returns the
  // bytes to send back, maybe none.
  virtual std::string onLine(std::string_view line) = 0;
  // The client sent a line longer than the connection accepts; the answer is sent and the
  // connection closed.
  virtual std::string onLineTooLong() = 0;
  // True once the session has ended (QUIT); the connection is then closed.
  virtual bool finished() const = 0;
  // True once, after the answer to STARTTLS or STLS: the connection then runs the TLS handshake
  // before it reads on, and tells the session with onTlsStarted.
  virtual bool takeTlsRequest() { return false; }
  virtual void onTlsStarted() {}
};

}  // namespace mailsandbox
