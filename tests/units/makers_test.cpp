// The makers of hardware addresses, from registry files written here and
// from the system's own copy when it has one.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "units/makers.h"
#include "units/registry.h"

namespace melvorin::units {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> MakerOf(Makers& makers, const char* address) {
    const std::optional<HardwareAddress> parsed = ParseHardwareAddress(address);
    EXPECT_TRUE(parsed.has_value()) << address;
    return parsed ? makers.MakerOf(*parsed) : std::nullopt;
}

class RegistryFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("mlv-makers-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    void Write(const char* name, const std::string& text) { std::ofstream(folder_ / name, std::ios::binary) << text; }
    fs::path folder_;
};

constexpr const char* kHeader = "Registry,Assignment,Organization Name,Organization Address\r\n";

TEST_F(RegistryFolder, LongestPrefixWinsAcrossTheFourFilesAsDebianShipsThem) {
    Write("oui.csv", std::string(kHeader) +
                         "MA-L,70B3D5,IEEE Registration Authority,445 Hoes Lane Piscataway NJ US 08554 \r\n"
                         // A quoted address holding line breaks, then a quoted name with commas and quotes.
                         "MA-L,C404D8,Aviva Links Inc.,\"160 E Tasman Dr\nSTE 102, SAN JOSE CA US 95134 \"\r\n"
                         "MA-L,246F28,\"Joint Stock Company \"\"Espressif, Inc.\"\"\",\"Room 204, Shanghai \"\r\n"
                         "MA-L,0A1B2C,Never Shown,Its first octet's local bit is set\r\n"
                         "MA-L,246F28,A Second Owner,the first one counts\r\n"
                         // Malformed: not hexadecimal, the wrong length, no name, no registry.
                         "MA-L,24ZZ28,Bad Digits,\r\nMA-L,1234567,Too Long,\r\nMA-L,112233,  ,\r\n"
                         "XX-L,445566,Unknown Registry,\r\nMA-L,AABB\r\n"
                         "MA-L,3C71BF,After A Short Line,x\r\n");
    Write("mam.csv", std::string(kHeader) + "MA-M,70B3D5F,A Nonsense Medium Block,\r\n"
                                           "MA-M,C404D81,\tSpaces Around Inc. ,\"a, b\"\r\n");
    Write("oui36.csv", std::string(kHeader) + "MA-S,70B3D5F2F,TELEPLATFORMS,\"Polbina st., 3/1 Moscow  RU 109388 \"\r\n");
    Write("iab.csv", std::string(kHeader) + "IAB,0050C2EDA,\"Joint Stock Company \"\"Svyaz Inginiring M\"\"\",x");

    Makers makers(folder_.string());
    EXPECT_EQ(MakerOf(makers, "70:b3:d5:f2:f1:23"), "TELEPLATFORMS");
    EXPECT_EQ(MakerOf(makers, "70:b3:d5:f3:00:00"), "A Nonsense Medium Block");
    EXPECT_EQ(MakerOf(makers, "70:b3:d5:e0:00:00"), "IEEE Registration Authority");
    EXPECT_EQ(MakerOf(makers, "C4-04-D8-12-34-56"), "Spaces Around Inc.");
    EXPECT_EQ(MakerOf(makers, "c4:04:d8:00:00:01"), "Aviva Links Inc.");
    EXPECT_EQ(MakerOf(makers, "24:6f:28:00:00:01"), "Joint Stock Company \"Espressif, Inc.\"");
    EXPECT_EQ(MakerOf(makers, "00:50:c2:ed:af:ff"), "Joint Stock Company \"Svyaz Inginiring M\"");
    EXPECT_EQ(MakerOf(makers, "00:50:c2:ed:b0:00"), std::nullopt);
    EXPECT_EQ(MakerOf(makers, "3c:71:bf:00:00:01"), "After A Short Line");
    EXPECT_EQ(MakerOf(makers, "0a:1b:2c:00:00:01"), std::nullopt);  // locally administered
    for (const char* skipped : {"24:00:28:00:00:00", "11:22:33:00:00:00", "44:55:66:00:00:00", "aa:bb:00:00:00:00"}) {
        EXPECT_EQ(MakerOf(makers, skipped), std::nullopt) << skipped;
    }
}

TEST_F(RegistryFolder, NoFilesMeanNoMakerAndAreReadOnceEvenWhenAskedFromManyThreads) {
    Makers missing((folder_ / "absent").string());
    EXPECT_EQ(MakerOf(missing, "24:6f:28:00:00:01"), std::nullopt);

    Write("oui.csv", "MA-L,246F28,Espressif Inc.,x\n");
    Makers makers(folder_.string());
    std::vector<std::optional<std::string>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] { seen[i] = MakerOf(makers, "24:6f:28:00:00:01"); });
    }
    for (std::thread& t : threads) t.join();
    for (const auto& maker : seen) EXPECT_EQ(maker, "Espressif Inc.");
    // Read when first asked, never again.
    Write("oui.csv", "MA-L,246F28,Someone Else,x\n");
    EXPECT_EQ(MakerOf(makers, "24:6f:28:00:00:01"), "Espressif Inc.");
}

TEST_F(RegistryFolder, AFileThatCannotBeReadIsToldOnceAndLeftOut) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not open a folder as a file";
#endif
    fs::create_directory(folder_ / "oui.csv");  // opened, but not read
    Write("mam.csv", "MA-M,70B3D5F,A Medium Block,x\n");
    Makers makers(folder_.string());
    std::vector<std::string> notes;
    makers.OnNote = [&notes](const std::string& note) { notes.push_back(note); };
    EXPECT_EQ(MakerOf(makers, "70:b3:d5:f0:00:01"), "A Medium Block");
    EXPECT_EQ(MakerOf(makers, "24:6f:28:00:00:01"), std::nullopt);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0],
              "cannot read the registry file \"" + (folder_ / "oui.csv").string() + "\": its makers are left out");
}

TEST(SystemRegistries, KnowAnEspressifUnitAndAnMaSBlockInsideTheAuthoritysOwn) {
    if (!fs::exists("/usr/share/ieee-data/oui.csv")) GTEST_SKIP() << "ieee-data is not installed";
    Makers makers;
    EXPECT_EQ(MakerOf(makers, "24:6f:28:00:00:01"), "Espressif Inc.");
    EXPECT_EQ(MakerOf(makers, "70:b3:d5:f2:f1:23"), "TELEPLATFORMS");
    EXPECT_EQ(MakerOf(makers, "26:6f:28:00:00:01"), std::nullopt);
}

}  // namespace
}  // namespace melvorin::units
