#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"

namespace {

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// A heap buffer of exactly the given size, so that the address sanitizer sees any write past it.
struct ExactBuffer {
  explicit ExactBuffer(std::size_t size) : bytes(size, '#') {}
  char* data() { return bytes.data(); }
  std::string text() const { return bytes.data(); }
  std::vector<char> bytes;
};

// ---- BSCFEM_SplitEmailAddress ------------------------------------------------------------------

struct SplitCase {
  const char* name;
  const char* address;
  const char* displayName;
  const char* user;
  const char* domain;
};

class SplitEmailAddress : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitEmailAddress, GivesNameUserAndDomain) {
  const SplitCase& c = GetParam();
  // Buffers of the address length plus one always suffice.
  std::size_t size = std::strlen(c.address) + 1;
  ExactBuffer name(size), user(size), domain(size);
  BSCFEM_SplitEmailAddress(c.address, name.data(), user.data(), domain.data());
  EXPECT_EQ(name.text(), c.displayName);
  EXPECT_EQ(user.text(), c.user);
  EXPECT_EQ(domain.text(), c.domain);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitEmailAddress,
    ::testing::Values(
        SplitCase{"bare", "jd@x", "", "jd", "x"},
        SplitCase{"envelope", "<u@d>", "", "u", "d"},
        SplitCase{"quotedNameAndBlank", "\"Doe\" <jd@x>", "Doe", "jd", "x"},
        SplitCase{"quotedNameNoBlank", "\"Doe\"<jd@x>", "Doe", "jd", "x"},
        SplitCase{"quotedNameManyBlanks", "\"a\"        <u@d>", "a", "u", "d"},
        SplitCase{"singleQuotedName", "'Doe' <jd@x>", "Doe", "jd", "x"},
        SplitCase{"unquotedNameKeepsBlank", "Doe <jd@x>", "Doe ", "jd", "x"},
        SplitCase{"twoQuotedWords", "\"a\"\"b\"<u@d>", "ab", "u", "d"},
        SplitCase{"quotedWordsWithBlank", "\"a\" \"b\" <u@d>", "a b", "u", "d"},
        SplitCase{"nameWithComma", "\"Doe, John\" <j@x>", "Doe, John", "j", "x"},
        SplitCase{"secondAtBelongsToUser", "a@b@c", "", "a@b", "c"},
        SplitCase{"noAtIsAllDomain", "u", "", "", "u"},
        SplitCase{"bareDomain", "example.com", "", "", "example.com"},
        SplitCase{"empty", "", "", "", ""},
        SplitCase{"onlyBrackets", "<>", "", "", ""}),
    caseName<SplitCase>);

TEST(SplitEmailAddressBounds, CutsEachPartAt1023Characters) {
  std::string longUser(1500, 'u'), longDomain(1500, 'd'), longName(1500, 'n');
  std::string address = "\"" + longName + "\" <" + longUser + "@" + longDomain + ">";
  ExactBuffer name(1024), user(1024), domain(1024);
  BSCFEM_SplitEmailAddress(address.c_str(), name.data(), user.data(), domain.data());
  EXPECT_EQ(name.text(), longName.substr(0, 1023));
  EXPECT_EQ(user.text(), longUser.substr(0, 1023));
  EXPECT_EQ(domain.text(), longDomain.substr(0, 1023));
}

TEST(SplitEmailAddressBounds, KeepsTheStartOfALongPart) {
  std::string user = "first" + std::string(1200, 'x') + "last";
  ExactBuffer name(1024), userOut(1024), domain(1024);
  BSCFEM_SplitEmailAddress((user + "@d").c_str(), name.data(), userOut.data(), domain.data());
  EXPECT_EQ(userOut.text(), user.substr(0, 1023));
  EXPECT_EQ(domain.text(), "d");
}

// ---- BSCFEM_SplitEmailToArray ------------------------------------------------------------------

struct ListCase {
  const char* name;
  const char* list;
  std::vector<std::string> expected;
};

class SplitEmailToArray : public ::testing::TestWithParam<ListCase> {};

TEST_P(SplitEmailToArray, AppendsEachAddress) {
  const ListCase& c = GetParam();
  std::string buffer = c.list;
  std::vector<std::string> array{"kept"};
  BSCFEM_SplitEmailToArray(buffer.data(), array);
  std::vector<std::string> expected{"kept"};
  expected.insert(expected.end(), c.expected.begin(), c.expected.end());
  EXPECT_EQ(array, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitEmailToArray,
    ::testing::Values(
        ListCase{"mixedSeparators", "a@x; b@y,,c@z", {"a@x", "b@y", "c@z"}},
        ListCase{"noAddresses", "x,y", {}},
        ListCase{"empty", "", {}},
        ListCase{"onlySeparators", ",;;,", {}},
        ListCase{"separatorsAround", ";;a@x;;", {"a@x"}},
        ListCase{"blanksTrimmed", "  a@x  ,\tb@y\t", {"a@x", "b@y"}},
        ListCase{"commaInQuotedName", "\"Doe, John\" <j@x>, k@y", {"\"Doe,John\" <j@x>", "k@y"}},
        ListCase{"trailingPieceDropped", "a@x, junk", {"a@x"}},
        ListCase{"displayForms", "\"A\" <a@x>; B <b@y>", {"\"A\" <a@x>", "B <b@y>"}}),
    caseName<ListCase>);

TEST(SplitEmailToArrayInPlace, CutsTheListBuffer) {
  char list[] = "a@x,b@y";
  std::vector<std::string> array;
  BSCFEM_SplitEmailToArray(list, array);
  EXPECT_STREQ(list, "a@x");
  EXPECT_STREQ(list + 4, "b@y");
}

TEST(SplitEmailToArrayInPlace, LeavesTheCallersOwnTokenisingAlone) {
  char callerText[] = "one two";
  char* first = std::strtok(callerText, " ");
  char list[] = "a@x b,c@y";
  char ip[] = "1 .2";
  std::vector<std::string> array;
  BSCFEM_SplitEmailToArray(list, array);
  unsigned char a, b, c, d;
  BSCFEM_SplitIPAddress(ip, a, b, c, d);
  char* second = std::strtok(nullptr, " ");
  EXPECT_STREQ(first, "one");
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(second, "two");
  EXPECT_EQ(array, (std::vector<std::string>{"a@x b", "c@y"}));
}

// ---- Bare, envelope and host forms -------------------------------------------------------------

struct FormCase {
  const char* name;
  const char* address;
  const char* simple;
  const char* envelope;
};

class AddressForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(AddressForms, GivesBareAndEnvelopeForm) {
  const FormCase& c = GetParam();
  // The caller's buffer holds the input plus three bytes.
  std::size_t size = std::strlen(c.address) + 3;
  ExactBuffer simple(size), envelope(size);
  BSCFEM_2SimpleEmailAddress(c.address, simple.data());
  BSCFEM_2EnvlopeAddress(c.address, envelope.data());
  EXPECT_EQ(simple.text(), c.simple);
  EXPECT_EQ(envelope.text(), c.envelope);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressForms,
    ::testing::Values(
        FormCase{"bare", "u@d", "u@d", "<u@d>"},
        FormCase{"quotedName", "\"Name\" <u@d>", "u@d", "<u@d>"},
        FormCase{"plainName", "Name <u@d>", "u@d", "<u@d>"},
        FormCase{"envelope", "<u@d>", "u@d", "<u@d>"},
        FormCase{"listEndsAtComma", "u@d, v@e", "u@d", "<u@d>"},
        FormCase{"listEndsAtSemicolon", "u@d;v@e", "u@d", "<u@d>"},
        FormCase{"commentAfterBlank", "u@d (x)", "(x)", "<(x)>"},
        FormCase{"empty", "", "", "<>"}),
    caseName<FormCase>);

struct HostCase {
  const char* name;
  const char* address;
  const char* domain;
};

class GetHostName : public ::testing::TestWithParam<HostCase> {};

TEST_P(GetHostName, GivesTextAfterLastAt) {
  const HostCase& c = GetParam();
  ExactBuffer domain(std::strlen(c.address) + 3);
  BSCFEM_GetHostName(c.address, domain.data());
  EXPECT_EQ(domain.text(), c.domain);
}

INSTANTIATE_TEST_SUITE_P(Cases, GetHostName,
                         ::testing::Values(HostCase{"bare", "u@d", "d"},
                                           HostCase{"endsAtSeparator", "a@b;c@d", "b"},
                                           HostCase{"endsAtComma", "a@b,c", "b"},
                                           HostCase{"noAt", "abc", "abc"},
                                           HostCase{"separatorBeforeAt", "a,b@c", "c"},
                                           HostCase{"noAtKeepsSeparators", "a,b", "a,b"},
                                           HostCase{"lastAtWins", "a@b@c", "c"},
                                           HostCase{"empty", "", ""}),
                         caseName<HostCase>);

// ---- Validation --------------------------------------------------------------------------------

struct LegalCase {
  const char* name;
  const char* text;
  int legal;
};

class IsLegalEmailAddress : public ::testing::TestWithParam<LegalCase> {};
TEST_P(IsLegalEmailAddress, NeedsUserAndDomain) {
  EXPECT_EQ(BSCF_IsLegalEmailAddress(GetParam().text), GetParam().legal);
}
INSTANTIATE_TEST_SUITE_P(Cases, IsLegalEmailAddress,
                         ::testing::Values(LegalCase{"bare", "u@d", 1},
                                           LegalCase{"display", "\"Doe\" <jd@x>", 1},
                                           LegalCase{"charactersNotTested", "a b@c d", 1},
                                           LegalCase{"noAt", "u", 0},
                                           LegalCase{"noUser", "@d", 0},
                                           LegalCase{"noDomain", "u@", 0},
                                           LegalCase{"emptyEnvelope", "<>", 0},
                                           LegalCase{"empty", "", 0}),
                         caseName<LegalCase>);

class IsLegalDomainName : public ::testing::TestWithParam<LegalCase> {};
TEST_P(IsLegalDomainName, AcceptsLettersDigitsDashAndDots) {
  EXPECT_EQ(BSCF_IsLegalDomainName(GetParam().text), GetParam().legal);
}
INSTANTIATE_TEST_SUITE_P(Cases, IsLegalDomainName,
                         ::testing::Values(LegalCase{"dotted", "a.b", 1},
                                           LegalCase{"mixed", "Mail-1.example.COM", 1},
                                           LegalCase{"blanksTrimmed", "  a.b\t", 1},
                                           LegalCase{"leadingDot", ".a", 0},
                                           LegalCase{"trailingDot", "a.", 0},
                                           LegalCase{"doubleDot", "a..b", 0},
                                           LegalCase{"underscore", "a_b", 0},
                                           LegalCase{"innerBlank", "a b", 0},
                                           LegalCase{"nonAscii", "m\xc3\xa4il.de", 0},
                                           LegalCase{"empty", "", 0},
                                           LegalCase{"onlyBlanks", "   ", 0}),
                         caseName<LegalCase>);

class IsLegalFaxNo : public ::testing::TestWithParam<LegalCase> {};
TEST_P(IsLegalFaxNo, AcceptsDigitsDashHashAndComma) {
  EXPECT_EQ(BSCF_IsLegalFaxNo(GetParam().text), GetParam().legal);
}
INSTANTIATE_TEST_SUITE_P(Cases, IsLegalFaxNo,
                         ::testing::Values(LegalCase{"areaCode", "0571-1234", 1},
                                           LegalCase{"extension", " 123#45,6 ", 1},
                                           LegalCase{"empty", "", 1},
                                           LegalCase{"letter", "12a", 0},
                                           LegalCase{"innerBlank", "1 2", 0},
                                           LegalCase{"plus", "+86", 0}),
                         caseName<LegalCase>);

// ---- Other helpers -----------------------------------------------------------------------------

TEST(FormatEmailAddr, CopiesTheAddressUnchangedAndBounded) {
  ExactBuffer out(1024);
  BSCFEM_FormatEmailAddr("%s <u@d>", "ignored", out.data());
  EXPECT_EQ(out.text(), "%s <u@d>");
  std::string longAddress(2000, 'a');
  BSCFEM_FormatEmailAddr(longAddress.c_str(), nullptr, out.data());
  EXPECT_EQ(out.text(), longAddress.substr(0, 1023));
}

struct IpCase {
  const char* name;
  const char* text;
  unsigned char expected[4];
};

class SplitIPAddress : public ::testing::TestWithParam<IpCase> {};

TEST_P(SplitIPAddress, GivesFourBytes) {
  const IpCase& c = GetParam();
  std::string buffer = c.text;
  unsigned char out[4] = {9, 9, 9, 9};
  BSCFEM_SplitIPAddress(buffer.data(), out[0], out[1], out[2], out[3]);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.expected[i]) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitIPAddress,
                         ::testing::Values(IpCase{"full", "192.168.1.2", {192, 168, 1, 2}},
                                           IpCase{"threePieces", "192.168.1", {192, 168, 1, 0}},
                                           IpCase{"lowEightBits", "300.256.1.2", {44, 0, 1, 2}},
                                           IpCase{"hugeNumber", "99999999999999999999", {255, 0, 0, 0}},
                                           IpCase{"dotsInARow", "10..0...7", {10, 0, 7, 0}},
                                           IpCase{"extraPiecesIgnored", "1.2.3.4.5", {1, 2, 3, 4}},
                                           IpCase{"leadingDigitsOnly", "12ab.x.-3.4", {12, 0, 0, 4}},
                                           IpCase{"empty", "", {0, 0, 0, 0}}),
                         caseName<IpCase>);

struct FaxCase {
  const char* name;
  const char* number;
  const char* first;
  const char* second;
};

class SplitFaxNo : public ::testing::TestWithParam<FaxCase> {};

TEST_P(SplitFaxNo, SplitsOffAFourDigitAreaCode) {
  const FaxCase& c = GetParam();
  std::size_t size = std::strlen(c.number) + 1;
  ExactBuffer first(size), second(size);
  BSCF_SplitFaxNo(c.number, first.data(), second.data());
  EXPECT_EQ(first.text(), c.first);
  EXPECT_EQ(second.text(), c.second);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitFaxNo,
                         ::testing::Values(FaxCase{"fourDigitArea", "0571-1234", "0571", "1234"},
                                           FaxCase{"restKeepsDashes", "0571-12-34", "0571", "12-34"},
                                           FaxCase{"threeDigitArea", "010-1234", "0101234", ""},
                                           FaxCase{"leadingDash", "-1-2", "12", ""},
                                           FaxCase{"noDash", "12345", "12345", ""},
                                           FaxCase{"empty", "", "", ""}),
                         caseName<FaxCase>);

}  // namespace
