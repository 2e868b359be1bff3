#pragma once
// The error codes of the SMTP session, by the step that failed. The socket's and the file's own
// errors are passed on as they are.

namespace postwell::smtp {

inline constexpr unsigned long kContentFileUnreadable = 4881;
inline constexpr unsigned long kGreetingRejected = 4896;
inline constexpr unsigned long kHelloRejected = 4897;
inline constexpr unsigned long kMailRejected = 4898;
inline constexpr unsigned long kRcptRejected = 4899;
inline constexpr unsigned long kDataRejected = 4900;
inline constexpr unsigned long kEndOfDataRejected = 4901;
inline constexpr unsigned long kAuthLoginRejected = 4947;
inline constexpr unsigned long kUserRejected = 4948;
inline constexpr unsigned long kPasswordRejected = 4949;
// STARTTLS not offered or refused.
inline constexpr unsigned long kStartTlsRefused = 4952;
// The handshake failed or the server's certificate was not accepted.
inline constexpr unsigned long kTlsFailed = 4953;

}  // namespace postwell::smtp
