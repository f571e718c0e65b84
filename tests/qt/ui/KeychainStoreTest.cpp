// Runs against the real Secret Service that the test command starts
// (gnome-keyring in a private D-Bus session).
#include <gtest/gtest.h>

#include "core/engine/ESS.hpp"
#include "core/util/Base64.hpp"
#include "penvora/PenvoraSdkCertManager.hpp"
#include "qt/ui/QtKeychainStore.hpp"
#include "support/TestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
using namespace penvora::core::util;
namespace engine = penvora::core::engine;

namespace {

std::string uniqueAlias(const char* base) { return std::string("penvora-test-") + base + "-" + newUuidString(); }

class Keychain : public ::testing::Test {
 protected:
  void SetUp() override {
    qt::ui::QtKeychainStore::installIfNeeded();
    store_ = PenvoraSdkCertManager::store();
    // Probe that a Secret Service answers.
    const std::string probe = uniqueAlias("probe");
    if (!store_->add(probe, probe, {1})) {
      auto* k = dynamic_cast<qt::ui::QtKeychainStore*>(store_.get());
      const std::string why = k ? k->lastError() : "";
      if (std::getenv("PENVORA_IN_TEST_SESSION")) FAIL() << "Secret Service not usable: " << why;
      GTEST_SKIP() << "no Secret Service (run through make test): " << why;
    }
    store_->remove(probe, probe);
  }
  void TearDown() override {
    for (const auto& a : aliases_) {
      if (!store_) break;
      store_->remove(a + ".p12", a);
      store_->remove(a + ".p12.password", a);
    }
  }
  std::string alias(const char* base) {
    aliases_.push_back(uniqueAlias(base));
    return aliases_.back();
  }
  std::shared_ptr<SecretStore> store_;
  std::vector<std::string> aliases_;
};

}  // namespace

TEST(KeychainBeforeAnyRequest, TheSystemKeychainIsTheStoreFromTheFirstCall) {
  // No request launched and nothing installed by hand in this process.
  EXPECT_NE(dynamic_cast<qt::ui::QtKeychainStore*>(PenvoraSdkCertManager::store().get()), nullptr);
}

TEST_F(Keychain, SaveLoadAndReplace) {
  const Bytes p12 = *engine::ESS::defaultIdentity();
  const std::string password = engine::ESS::certificatePassword(std::nullopt);
  const std::string a = alias("replace");
  ASSERT_TRUE(PenvoraSdkCertManager::saveCertOnKeychain(p12, password, a));
  auto loaded = PenvoraSdkCertManager::loadCertFromKeychain(a);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->certData, p12);
  EXPECT_EQ(loaded->password, password);
  // Two items under the alias as account; the account is part of the address.
  EXPECT_EQ(store_->find(a + ".p12", a), p12);
  EXPECT_EQ(store_->find(a + ".p12.password", a), toBytes(password));
  EXPECT_FALSE(store_->find(a + ".p12", a + "x"));

  const Bytes other = toBytes(testsupport::makeIdentity("other", "n3w-pässword"));
  ASSERT_FALSE(other.empty());
  ASSERT_TRUE(PenvoraSdkCertManager::saveCertOnKeychain(other, "n3w-pässword", a));
  loaded = PenvoraSdkCertManager::loadCertFromKeychain(a);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->certData, other);
  EXPECT_EQ(loaded->password, "n3w-pässword");
}

TEST_F(Keychain, WrongPasswordWritesNothing) {
  const std::string a = alias("wrong");
  EXPECT_FALSE(PenvoraSdkCertManager::saveCertOnKeychain(*engine::ESS::defaultIdentity(), "not-the-password", a));
  EXPECT_FALSE(store_->find(a + ".p12", a));
  EXPECT_FALSE(PenvoraSdkCertManager::loadCertFromKeychain(a));
  EXPECT_FALSE(PenvoraSdkCertManager::saveCertOnKeychain(Bytes{0x30, 0x03, 1, 2, 3}, "", a));
  EXPECT_FALSE(PenvoraSdkCertManager::saveCertOnKeychain(Bytes{}, "", a));
}

TEST_F(Keychain, HalfStoredOrNonUtf8AliasLoadsNothing) {
  const std::string a = alias("half");
  ASSERT_TRUE(store_->add(a + ".p12", a, {1, 2, 3}));
  EXPECT_FALSE(PenvoraSdkCertManager::loadCertFromKeychain(a));
  ASSERT_TRUE(store_->add(a + ".p12.password", a, {0xFF, 0xFE}));
  EXPECT_FALSE(PenvoraSdkCertManager::loadCertFromKeychain(a));
  EXPECT_FALSE(PenvoraSdkCertManager::loadCertFromKeychain(alias("never-saved")));
}
