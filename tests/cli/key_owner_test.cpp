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
    const auto holdsKey = [&] {
        return std::search(storage, storage + sizeof storage, key.begin(), key.end()) != storage + sizeof storage;
    };
    auto* owner = new (storage) KeyOwner;
    for (const char c : key) ASSERT_TRUE(owner->Append(c));
    owner->Encode();
    ASSERT_EQ(std::string(owner->Bytes().begin(), owner->Bytes().end()), key);
    ASSERT_TRUE(holdsKey());  // the text lives in the owner itself
    owner->~KeyOwner();
    EXPECT_FALSE(holdsKey());
    // All of the text's storage, not only its start.
    EXPECT_GE(std::count(storage, storage + sizeof storage, 0), static_cast<long>(KeyOwner::kCapacity));
}

}  // namespace
}  // namespace melvorin::cli
