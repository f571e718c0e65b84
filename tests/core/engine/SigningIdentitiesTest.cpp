#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "core/engine/AES.hpp"
#include "core/engine/DomainError.hpp"
#include "core/engine/ESS.hpp"
#include "core/engine/TemporaryKeyFile.hpp"
#include "core/util/Pkcs12.hpp"
#include "support/TestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
using namespace penvora::core::util;
namespace engine = penvora::core::engine;
namespace fs = std::filesystem;

static const std::string kKey = "0123456789abcdef0123456789ABCDEF";

TEST(ComponentAES, RoundTripAndErrors) {
  AES aes(kKey);
  Bytes sealed = aes.encrypt("aGVsbG8=");
  EXPECT_EQ(sealed.size(), 16u + 16u);
  EXPECT_EQ(aes.decrypt(sealed), "aGVsbG8=");
  EXPECT_NE(aes.encrypt("aGVsbG8="), sealed);  // fresh IV

  const auto codeOf = [](auto f) {
    try {
      f();
    } catch (const AES::Error& e) {
      return e.code();
    }
    return AES::ErrorCode::encryptionFailed;
  };
  EXPECT_EQ(codeOf([] { AES("short"); }), AES::ErrorCode::invalidKeySize);
  EXPECT_EQ(testsupport::errorOf([] { AES("short"); }), "invalidKeySize");
  const auto failsWith = [&](const Bytes& data) { return codeOf([&] { aes.decrypt(data); }); };
  EXPECT_EQ(failsWith(Bytes(10, 0)), AES::ErrorCode::decryptionFailed);
  EXPECT_EQ(failsWith(Bytes(33, 0)), AES::ErrorCode::decryptionFailed);
  Bytes tampered = sealed;
  tampered.back() ^= 0x55;
  auto code = failsWith(tampered);
  EXPECT_TRUE(code == AES::ErrorCode::decryptionFailed || code == AES::ErrorCode::dataToStringFailed);
  // Well-padded non-UTF-8 plaintext is dataToStringFailed.
  EXPECT_EQ(failsWith(AES(kKey).encrypt(std::string("\xff\xfe\xfd", 3))), AES::ErrorCode::dataToStringFailed);
}

// Its subject is checked where the signer loads it (CertificateTest).
TEST(DefaultIdentity, OpensWithTheDefaultPasswordOnly) {
  auto p12 = engine::ESS::defaultIdentity();
  ASSERT_TRUE(p12);
  const std::string password = engine::ESS::certificatePassword(std::nullopt);
  EXPECT_FALSE(password.empty());
  EXPECT_TRUE(pkcs12Opens(*p12, password));
  EXPECT_FALSE(pkcs12Opens(*p12, password + "x"));
  // A password the host gives is kept, even an empty one.
  EXPECT_EQ(engine::ESS::certificatePassword(std::string("")), "");
  EXPECT_EQ(engine::ESS::certificatePassword(std::string("secret")), "secret");
  // Deciphered anew each time, same content.
  EXPECT_EQ(*engine::ESS::defaultIdentity(), *p12);
}

// RC2 and 3DES containers open through the legacy provider, loaded only
// for them; a wrong password is still refused.
TEST(DefaultIdentity, LegacyContainersStillOpen) {
  const std::string legacy = testsupport::makeIdentity("Legacy Holder", "old", "-legacy");
  ASSERT_FALSE(legacy.empty());
  const Bytes bytes(legacy.begin(), legacy.end());
  EXPECT_FALSE(pkcs12Opens(bytes, "wrong"));
  EXPECT_TRUE(pkcs12Opens(bytes, "old"));
}

TEST(TempP12, UniqueOwnerOnlyAndRemovable) {
  const Bytes data{1, 2, 3, 4};
  fs::path a = engine::ESS::writeTempP12(data), b = engine::ESS::writeTempP12(data);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), fs::temp_directory_path());
  EXPECT_TRUE(std::regex_match(
      a.filename().string(),
      std::regex("signcert-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.p12")));
  struct stat st {};
  ASSERT_EQ(stat(a.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(testsupport::readText(a), std::string("\x01\x02\x03\x04"));
  fs::remove(a);
  fs::remove(b);
}

TEST(TempP12, WriteFailureThrowsTheDomainError) {
  testsupport::ScopedEnv tmp("TMPDIR", "/nonexistent/penvora");
  try {
    engine::ESS::writeTempP12(Bytes{1});
    ADD_FAILURE() << "no error";
  } catch (const DomainError& e) {
    EXPECT_EQ(e.domain(), "PenvoraSDK");
    EXPECT_EQ(e.code(), 1);
    EXPECT_STREQ(e.what(), "Error writing temp p12");
  }
}

TEST(TempP12, StaleFilesAreCleanedUp) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv tmp("TMPDIR", dir.path());
  fs::path left = engine::ESS::writeTempP12(Bytes{9});
  testsupport::writeText(dir / "other.p12", "keep");
  engine::ESS::removeStaleTempP12Files(std::chrono::seconds(3600));
  EXPECT_TRUE(fs::exists(left));  // young: may be a signing under way
  {
    TemporaryKeyFile inUse(engine::ESS::writeTempP12(Bytes{7}));
    engine::ESS::removeStaleTempP12Files(std::chrono::seconds(0));
    EXPECT_TRUE(fs::exists(inUse.path()));  // another signing still reads it
  }
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(dir / "other.p12"));
}
