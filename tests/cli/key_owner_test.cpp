// The key's owner leaves nothing of the key in its own storage once it ends,
// seen through the storage it was made in.

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>

#include "cli/key_owner.h"

namespace melvorin::cli {
namespace {

TEST(KeyOwner, EndsWithTheKeyWipedFromItsStorage) {
    const std::string key = "Secret-Key-7f3a9c";
    alignas(KeyOwner) unsigned char storage[sizeof(KeyOwner)];
    unsigned char* const end = storage + sizeof storage;
    auto* owner = new (storage) KeyOwner;
    for (const char c : key) ASSERT_TRUE(owner->Append(c));
    owner->Encode();
    ASSERT_NE(std::search(storage, end, key.begin(), key.end()), end);  // the text lives in the owner
    owner->~KeyOwner();
    EXPECT_EQ(std::search(storage, end, key.begin(), key.end()), end);
    // All of the text's storage, not only its start.
    EXPECT_GE(std::count(storage, end, 0), static_cast<long>(KeyOwner::kCapacity));
}

}  // namespace
}  // namespace melvorin::cli
