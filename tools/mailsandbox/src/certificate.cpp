#include "certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/files.h"

namespace mailsandbox {

namespace {

struct Free {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(X509* cert) const { X509_free(cert); }
  void operator()(X509_EXTENSION* ext) const { X509_EXTENSION_free(ext); }
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string fingerprint(X509* cert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (X509_digest(cert, EVP_sha256(), digest, &size) != 1) return {};
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", digest[i]);
    if (i > 0) text += ':';
    text += pair;
  }
  return text;
}

bool addExtension(X509* cert, int nid, const char* value) {
  std::unique_ptr<X509_EXTENSION, Free> ext(X509V3_EXT_conf_nid(nullptr, nullptr, nid, value));
  return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

// Written under a temporary name and renamed, so that a crash never leaves half a file.
template <typename Write>
bool writePem(const std::string& path, mode_t mode, Write write) {
  const std::string temporary = path + ".tmp";
  {
    std::unique_ptr<std::FILE, Free> file(std::fopen(temporary.c_str(), "wb"));
    if (!file || ::chmod(temporary.c_str(), mode) != 0 || !write(file.get()) ||
        std::fflush(file.get()) != 0)
      return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

bool ensureCertificate(const std::string& folder, Certificate& c, std::string& error) {
  c.certificateFile = folder + "/cert.pem";
  c.keyFile = folder + "/key.pem";
  if (platform::fileExists(c.certificateFile) && platform::fileExists(c.keyFile)) {
    std::unique_ptr<std::FILE, Free> file(std::fopen(c.certificateFile.c_str(), "rb"));
    std::unique_ptr<X509, Free> cert(file ? PEM_read_X509(file.get(), nullptr, nullptr, nullptr)
                                          : nullptr);
    if (cert) {
      c.sha256 = fingerprint(cert.get());
      return true;
    }
  }
  const std::size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0) ::mkdir(folder.substr(0, slash).c_str(), 0755);
  ::mkdir(folder.c_str(), 0755);
  std::unique_ptr<EVP_PKEY, Free> key(EVP_EC_gen("P-256"));
  std::unique_ptr<X509, Free> cert(X509_new());
  if (!key || !cert) {
    error = "cannot make a TLS key";
    return false;
  }
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(std::time(nullptr)));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  if (!addExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") ||
      !addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
      !addExtension(cert.get(), NID_ext_key_usage, "serverAuth") ||
      X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
    error = "cannot make a TLS certificate";
    return false;
  }
  const bool written = writePem(c.keyFile, 0600,
                                [&](std::FILE* f) {
                                  return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0,
                                                              nullptr, nullptr) == 1;
                                }) &&
                       writePem(c.certificateFile, 0644,
                                [&](std::FILE* f) { return PEM_write_X509(f, cert.get()) == 1; });
  if (!written) {
    error = "cannot write the TLS certificate into " + folder;
    return false;
  }
  c.sha256 = fingerprint(cert.get());
  return true;
}

}  // namespace mailsandbox
