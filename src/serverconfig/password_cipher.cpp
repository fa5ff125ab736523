// Stored account passwords: "~#1" followed by the Base64 form of the password
// enciphered with Blowfish under the account store's fixed key.
#include <memory>
#include <mutex>

#include "crypto/blowfish.h"
#include "serverconfig/account_store.h"
#include "support/base64.h"

namespace serverconfig {
namespace {

// A constant of the account file format: every stored password depends on it.
constexpr char kPasswordKey[] = "Orvik mail accounts/Blowfish key: 4c8e1b7d0a93f256e8d1c47b9";
static_assert(sizeof kPasswordKey - 1 == 59);

constexpr std::size_t kStoredMax = 127;

// One keyed cipher for the process, used under its lock.
std::mutex cipher_lock;

crypto::TCipher& Cipher() {
  static std::unique_ptr<crypto::TCipher_Blowfish> cipher = [] {
    auto made = std::make_unique<crypto::TCipher_Blowfish>();
    made->InitKey(kPasswordKey);
    return made;
  }();
  return *cipher;
}

}  // namespace

std::string EncryptPassword(const std::string& password) {
  std::lock_guard<std::mutex> hold(cipher_lock);
  std::string enciphered = Cipher().EncipherString(password);
  Cipher().ResetChain();
  return ("~#1" + support::Base64Encode(enciphered)).substr(0, kStoredMax);
}

std::string DecryptPassword(const std::string& stored) {
  if (stored.size() <= 2 || stored.compare(0, 2, "~#") != 0) return stored;
  std::string enciphered;
  if (!support::Base64Decode(stored.substr(3), enciphered)) return stored;
  std::lock_guard<std::mutex> hold(cipher_lock);
  std::string plain = Cipher().DecipherString(enciphered);
  Cipher().ResetChain();
  return plain;
}

}  // namespace serverconfig
