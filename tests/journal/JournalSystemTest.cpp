#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "journal/Journal.h"

namespace fw {
namespace {

std::string Sha(const std::string& text) {
  return Sha256Hex(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// The published SHA-256 test vectors: each system's hash (libcrypto, or CNG on Windows) must
// give them, the empty input included.
TEST(JournalSystem, Sha256GivesThePublishedDigests) {
  EXPECT_EQ(Sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(JournalSystem, Sha256OfTwoCallsDoesNotCarryState) {
  const std::string first = Sha("abc");
  Sha(std::string(4096, 'x'));
  EXPECT_EQ(Sha("abc"), first);
}

// Sets an environment variable for one test and puts it back afterwards.
class EnvScope {
 public:
  EnvScope(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name); old != nullptr) {
      old_ = old;
    }
    Set(value);
  }
  ~EnvScope() { Set(old_ ? old_->c_str() : nullptr); }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  void Set(const char* value) {
#ifdef _WIN32
    // The wide environment, which the journal reads (_wgetenv); an empty value removes it.
    const std::string text = value ? value : "";
    _wputenv_s(std::wstring(name_.begin(), name_.end()).c_str(),
               std::wstring(text.begin(), text.end()).c_str());
#else
    if (value) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
#endif
  }
  std::string name_;
  std::optional<std::string> old_;
};

#ifdef _WIN32
TEST(JournalSystem, DefaultJournalIsInTheUsersLocalApplicationData) {
  EnvScope local("LOCALAPPDATA", "C:\\Users\\tech\\AppData\\Local");
  EXPECT_EQ(DefaultJournalPath(), "C:\\Users\\tech\\AppData\\Local\\flashwright\\journal.db");
}

TEST(JournalSystem, DefaultJournalFallsBackToTheTemporaryFolder) {
  EnvScope local("LOCALAPPDATA", nullptr);
  EnvScope temp("TEMP", "C:\\Temp");
  EXPECT_EQ(DefaultJournalPath(), "C:\\Temp\\flashwright\\journal.db");
}
#else
TEST(JournalSystem, DefaultJournalIsInTheUsersDataFolder) {
  EnvScope data("XDG_DATA_HOME", "/srv/tech/data");
  EXPECT_EQ(DefaultJournalPath(), "/srv/tech/data/flashwright/journal.db");
  EnvScope none("XDG_DATA_HOME", nullptr);
  EnvScope home("HOME", "/home/tech");
  EXPECT_EQ(DefaultJournalPath(), "/home/tech/.local/share/flashwright/journal.db");
}
#endif

}  // namespace
}  // namespace fw
