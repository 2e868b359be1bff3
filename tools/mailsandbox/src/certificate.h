#pragma once
// The stand-in's own TLS certificate: a self-signed one for localhost and 127.0.0.1, made once
// under App/tls/ and kept, so that a client may pin its fingerprint across restarts.

#include <string>

namespace mailsandbox {

struct Certificate {
  std::string certificateFile;
  std::string keyFile;
  std::string sha256;  // uppercase hex pairs joined by colons
};

// Loads the certificate in the folder, or makes it when there is none. False with a reason.
bool ensureCertificate(const std::string& folder, Certificate& certificate, std::string& error);

}  // namespace mailsandbox
