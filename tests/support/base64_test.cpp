// Base64: the RFC 4648 test vectors and texts that are no Base64.
#include "support/base64.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64Test, PublishedVectorsBothWays) {
  const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(support::Base64Encode(plain), encoded);
    std::string decoded;
    EXPECT_TRUE(support::Base64Decode(encoded, decoded)) << encoded;
    EXPECT_EQ(decoded, plain);
  }
  std::string bytes("\x00\xff\xfe\x80", 4), decoded;
  EXPECT_EQ(support::Base64Encode(bytes), "AP/+gA==");
  EXPECT_TRUE(support::Base64Decode("AP/+gA==", decoded));
  EXPECT_EQ(decoded, bytes);
}

TEST(Base64Test, RefusesWhatNoEncoderWrites) {
  std::string out = "stale";
  for (const char* bad : {"Zg=", "Zm9v!", "Z===", "====", "Zm=v", "Zm9vY", "Zm 9v"}) {
    EXPECT_FALSE(support::Base64Decode(bad, out)) << bad;
    EXPECT_EQ(out, "") << bad;
  }
}

// Old configuration files wrap Base64 over lines and may carry stray characters.
TEST(Base64Test, LenientDecodingSkipsWhatIsNotBase64) {
  const std::pair<std::string, std::string> cases[] = {{"Zm9v\r\nYmFy", "foobar"},
                                                       {" Zm9v YmE= ", "fooba"},
                                                       {"Zm*9v!Yg==", "foob"},
                                                       {"Zm9vYg", "foob"},
                                                       {"Z", ""},
                                                       {"=Zg==", "f"},
                                                       {"", ""},
                                                       {"!!", ""}};
  for (const auto& [text, plain] : cases)
    EXPECT_EQ(support::Base64DecodeLenient(text), plain) << text;
}

}  // namespace
