#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "driver/DriverSettings.h"
#include "driver/TarvexDriver.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class DriverSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillon-drv-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FDir = pattern;
  }
  void TearDown() override { fs::remove_all(FDir); }

  void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path FDir;
};

TDriverSettings Custom() {
  TDriverSettings settings;
  settings.Address = "serial:/dev/ttyUSB1?baud=19200";
  settings.ByteTimeout = 75;
  settings.AnswerTimeout = 25000;
  settings.PrintTimeout = 90000;
  settings.Password = 1;
  settings.SysAdminPassword = 12345678;
  settings.Protocol = 2;
  settings.TraceFile = "/var/tmp/обмен с ККТ.log";
  return settings;
}

TEST_F(DriverSettingsTest, RoundTripsThroughTheFile) {
  // The folder does not exist yet: saving creates it.
  const fs::path path = FDir / "KORVANIX" / "Quillon" / "driver.xml";
  std::string error;
  ASSERT_TRUE(SaveDriverSettings(path.string(), Custom(), error)) << error;
  EXPECT_EQ(error, "");

  TDriverSettings read;
  ASSERT_TRUE(LoadDriverSettings(path.string(), read));
  EXPECT_EQ(read, Custom());
  EXPECT_NE(read, TDriverSettings());

  // Saving again replaces the file whole and leaves no temporary file behind.
  TDriverSettings second = Custom();
  second.Address = "tcp://127.0.0.1:7001";
  ASSERT_TRUE(SaveDriverSettings(path.string(), second, error)) << error;
  ASSERT_TRUE(LoadDriverSettings(path.string(), read));
  EXPECT_EQ(read.Address, "tcp://127.0.0.1:7001");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(path.parent_path())) ++files;
  EXPECT_EQ(files, 1);
  EXPECT_NE(ReadFile(path).find("<DriverSettings>"), std::string::npos);

  // A driver built from the file takes its settings, and its password from them.
  auto driver = TDriver::FromSettingsFile(path.string());
  EXPECT_EQ(driver->Settings(), second);
  EXPECT_EQ(driver->Password(), 1);
  EXPECT_EQ(driver->SysAdminPassword(), 12345678);
  std::string copy = (FDir / "copy.xml").string();
  ASSERT_TRUE(driver->SaveSettings(copy, error)) << error;
  TDriver other;
  EXPECT_EQ(other.Settings(), TDriverSettings());
  EXPECT_EQ(other.Password(), 30);
  EXPECT_TRUE(other.LoadSettings(copy));
  EXPECT_EQ(other.Settings(), second);
}

TEST_F(DriverSettingsTest, DamagedOrMissingFilesLeaveTheDefaults) {
  const fs::path path = FDir / "driver.xml";
  std::string error;
  ASSERT_TRUE(SaveDriverSettings(path.string(), Custom(), error)) << error;
  const std::string good = ReadFile(path);

  const std::string damaged[] = {
      good.substr(0, good.size() / 2),  // cut short
      good.substr(0, good.size() - 4),  // root not closed
      "",
      "not xml at all",
      "<Configuration><ByteTimeout>75</ByteTimeout></Configuration>",  // another root
      "<DriverSettings><ByteTimeout>75</Byte></DriverSettings>",
      good + "<extra/>",  // a second root after the first
  };
  for (const std::string& text : damaged) {
    WriteFile(path, text);
    TDriverSettings settings;
    EXPECT_FALSE(LoadDriverSettings(path.string(), settings)) << text;
    EXPECT_EQ(settings, TDriverSettings()) << text;
  }
  TDriverSettings settings;
  EXPECT_FALSE(LoadDriverSettings((FDir / "missing.xml").string(), settings));
  EXPECT_EQ(settings, TDriverSettings());
  auto driver = TDriver::FromSettingsFile((FDir / "missing.xml").string());
  EXPECT_EQ(driver->Settings(), TDriverSettings());
  EXPECT_EQ(driver->Password(), 30);
  EXPECT_EQ(driver->SysAdminPassword(), 30);

  // Single bad values keep what was there; the good ones are taken.
  WriteFile(path,
            "<?xml version=\"1.0\"?>\n<DriverSettings>\n"
            "  <Address>ftp://nowhere</Address>\n"
            "  <ByteTimeout>abc</ByteTimeout>\n"
            "  <AnswerTimeout>-5</AnswerTimeout>\n"
            "  <PrintTimeout> 1500 </PrintTimeout>\n"
            "  <Password>99999999999</Password>\n"
            "  <SysAdminPassword>29</SysAdminPassword>\n"
            "  <Protocol>4</Protocol>\n"
            "  <TraceFile>/tmp/a&#10;b.log</TraceFile>\n"
            "  <Unknown>1</Unknown>\n"
            "</DriverSettings>\n");
  ASSERT_TRUE(LoadDriverSettings(path.string(), settings));
  TDriverSettings expected;
  expected.PrintTimeout = 1500;
  expected.SysAdminPassword = 29;
  EXPECT_EQ(settings, expected);

  // The protocol is 0 ("as the log") to 3; an empty trace file name turns the trace off.
  struct TProtocolCase {
    const char* Text;
    int Protocol;
  };
  for (const TProtocolCase& c : {TProtocolCase{"3", 3}, {"0", 0}, {"-1", 2}, {"x", 2}, {"", 2}}) {
    TDriverSettings read = Custom();
    WriteFile(path, std::string("<DriverSettings><Protocol>") + c.Text +
                        "</Protocol><TraceFile></TraceFile></DriverSettings>");
    ASSERT_TRUE(LoadDriverSettings(path.string(), read)) << c.Text;
    EXPECT_EQ(read.Protocol, c.Protocol) << c.Text;
    EXPECT_EQ(read.TraceFile, "");
  }

  // Saving into a folder that cannot be made fails with a message.
  WriteFile(FDir / "plain", "x");
  EXPECT_FALSE(SaveDriverSettings((FDir / "plain" / "driver.xml").string(), Custom(), error));
  EXPECT_EQ(error.find("Не удалось"), 0u) << error;
}

// Sets an environment variable for the life of the object.
class TEnvOverride {
 public:
  TEnvOverride(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~TEnvOverride() {
    if (FOld)
      setenv(FName, FOld->c_str(), 1);
    else
      unsetenv(FName);
  }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

TEST(DriverSettingsPath, LiesBesideTheWindowSettings) {
  TEnvOverride home("HOME", "/home/kassir");
  {
    TEnvOverride xdg("XDG_CONFIG_HOME", "/srv/conf");
    EXPECT_EQ(DefaultDriverSettingsPath(), "/srv/conf/KORVANIX/Quillon/driver.xml");
  }
  {
    TEnvOverride xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(DefaultDriverSettingsPath(), "/home/kassir/.config/KORVANIX/Quillon/driver.xml");
  }
  {
    TEnvOverride xdg("XDG_CONFIG_HOME", "relative/conf");
    EXPECT_EQ(DefaultDriverSettingsPath(), "/home/kassir/.config/KORVANIX/Quillon/driver.xml");
  }
}

}  // namespace
}  // namespace quillon
