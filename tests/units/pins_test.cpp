// The pin store: a unit's key survives a new reading, the last line of an
// address holds, a forgotten pin stays forgotten, and the folder is made.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "units/pins.h"

namespace melvorin::units {
namespace {

namespace fs = std::filesystem;

TEST(Pins, PinForgetAndReadBackThroughTheFileOnly) {
    const fs::path folder = fs::temp_directory_path() / ("mlv-pins-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    const std::string path = (folder / "state" / "melvorin" / "pins").string();
    const PinnedKey first{0x04, 0x01, 0xab}, second{0x04, 0xff};
    {
        PinStore store(path);  // no file yet: nothing pinned
        EXPECT_TRUE(store.All().empty());
        store.Pin("24-6F-28-00-00-01", first);
        store.Pin("24:6f:28:00:00:02", first);
        store.Pin("24:6f:28:00:00:02", second);
        EXPECT_FALSE(store.Forget("24:6f:28:00:00:09"));
        EXPECT_TRUE(store.Forget("24:6f:28:00:00:01"));
    }
    EXPECT_EQ(fs::status(folder / "state" / "melvorin").permissions() & fs::perms::all, fs::perms::owner_all);
    // A line cut short by a killed run, and lines of no form, are skipped.
    std::ofstream(path, std::ios::app) << "garbage\n24:6f:28:00:00:03 04zz\n24:6f:28:00:00:04 04a";
    PinStore again(path);
    ASSERT_EQ(again.All().size(), 1u);
    EXPECT_EQ(again.Find("24:6F:28:00:00:02"), second);
    EXPECT_FALSE(again.Find("24:6f:28:00:00:01"));
    again.Pin("24:6f:28:00:00:05", first);  // starts on a line of its own
    EXPECT_EQ(PinStore(path).Find("24:6f:28:00:00:05"), first);
    fs::remove_all(folder);
}

TEST(Pins, ALinkInThePlaceOfTheFileIsNeverWrittenThrough) {
    const fs::path folder = fs::temp_directory_path() / ("mlv-pins-link-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "elsewhere") << "";
    fs::create_symlink(folder / "elsewhere", folder / "pins");
    PinStore store((folder / "pins").string());
    EXPECT_THROW(store.Pin("24:6f:28:00:00:01", {0x04}), PinError);
    EXPECT_EQ(fs::file_size(folder / "elsewhere"), 0u);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace melvorin::units
