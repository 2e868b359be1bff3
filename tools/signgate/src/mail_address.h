#pragma once
// Mail addresses as the gate compares them: "Ann <ANN@Example.COM>", "<ann@example.com>" and
// "ann@example.com" are one address. The whole address is compared without case: a local part that
// differs only in case names the same mailbox on every server the gate sits in front of, and a
// supervised user must not escape by writing it in capitals.

#include <string>
#include <string_view>
#include <vector>

namespace signgate {

// The bare address in lower case, without display name, comments, angle brackets or blanks; empty
// when the text holds no address (an empty envelope sender "<>" included).
std::string canonicalAddress(std::string_view text);

// Every address of an address-list header value (From may name several), in order, each
// canonical. Display names, quoted strings, comments and groups are understood, so that an
// address inside a display name ("ann@x" <eve@y>) is not taken for the address.
std::vector<std::string> headerAddresses(std::string_view value);

}  // namespace signgate
