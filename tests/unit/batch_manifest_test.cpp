#include "cli/batch_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/base/sha256.h"

namespace hl {
namespace {

std::string HashOf(const std::string& text, size_t piece) {
  Sha256 hash;
  for (size_t at = 0; at < text.size(); at += piece) {
    hash.Update(reinterpret_cast<const uint8_t*>(text.data()) + at, std::min(piece, text.size() - at));
  }
  return hash.FinishHex();
}

// The FIPS 180-2 examples, and lengths either side of the 56-byte padding boundary fed in
// pieces that straddle the 64-byte blocks.
TEST(Sha256, KnownDigestsWhateverThePiecesTheInputComesIn) {
  EXPECT_EQ(HashOf("", 1), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HashOf("abc", 1), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  for (size_t piece : {1, 7, 56, 64}) {
    EXPECT_EQ(HashOf(two, piece), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1") << piece;
  }
  const std::string million(1000000, 'a');
  EXPECT_EQ(HashOf(million, 1000), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(HashOf(million, 65), HashOf(million, 1000000));
  EXPECT_EQ(HashOf(std::string(55, 'a'), 3), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(HashOf(std::string(64, 'a'), 9), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(BatchManifest, JsonStringsEscapeQuotesControlsAndBytesThatAreNoUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("tab\tnl\ncr\r\x01\x7f"), "\"tab\\tnl\\ncr\\r\\u0001\\u007f\"");
  EXPECT_EQ(JsonString("\xc5\x81\xc3\xb3" "d\xc5\xba \xe9\x9f\xb3"), "\"\xc5\x81\xc3\xb3" "d\xc5\xba \xe9\x9f\xb3\"");
  // A Latin-1 name, a cut sequence, an overlong slash and an encoded surrogate.
  EXPECT_EQ(JsonString("caf\xe9.wav"), "\"caf\\udce9.wav\"");
  EXPECT_EQ(JsonString("x\xe9\x9f"), "\"x\\udce9\\udc9f\"");
  EXPECT_EQ(JsonString("\xc0\xaf"), "\"\\udcc0\\udcaf\"");
  EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\\udced\\udca0\\udc80\"");
}

TEST(BatchManifest, ShardIsTwoPlainDecimalsWithTheIndexBelowTheCount) {
  Shard shard;
  ASSERT_TRUE(ParseShard("3/4", &shard));
  EXPECT_EQ(shard.index, 3);
  EXPECT_EQ(shard.count, 4);
  ASSERT_TRUE(ParseShard("0/1000000", &shard));
  for (const char* bad : {"4/4", "0/0", "-1/4", "+1/4", "1/", "/4", "1 /4", "1/4 ", "0x1/4", "1.0/4", "1e0/4",
                          "1/4/4", "0/1000001", "14"}) {
    EXPECT_FALSE(ParseShard(bad, &shard)) << bad;
  }
  // Every input in exactly one of the shards.
  for (size_t rank = 0; rank < 10; ++rank) {
    int owners = 0;
    for (int k = 0; k < 3; ++k) owners += InShard(rank, Shard{k, 3});
    EXPECT_EQ(owners, 1);
  }
}

}  // namespace
}  // namespace hl
