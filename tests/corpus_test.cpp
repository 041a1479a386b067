// Replays the inputs kept from fuzzing, and converts the bundled sample font.
#include <gtest/gtest.h>

#include <filesystem>

#include "Classes.h"
#include "FileIO.h"
#include "FuzzEntry.h"
#include "Formathandlers.h"
#include "Graphics.h"
#include "TestUtil.h"

using namespace platform;

TEST(FuzzCorpus, EveryKeptInputRunsCleanly) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(EI_FUZZ_CORPUS)) {
    const std::string bytes = ReadFileBytes(entry.path().string());
    SCOPED_TRACE(entry.path().filename().string());
    FuzzBmpInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  EXPECT_GT(replayed, 0) << "the corpus folder is empty";
}

TEST(SampleFont, ConvertsIntoAPackedStripAndItsMetrics) {
  testutil::TTempDir out;
  OutputDir = out.Path();
  const std::string sample = std::string(EI_SAMPLES) + "/dejavu-sans.metrics";
  EXPECT_EQ(ExtractMetrics(sample, 0), 0);

  TBitmap strip, packed;
  strip.LoadFromFile(std::string(EI_SAMPLES) + "/dejavu-sans.bmp");
  packed.LoadFromFile(out.File("dejavu-sans.bmp"));
  EXPECT_EQ(packed.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(packed.Palette(), strip.Palette());
  EXPECT_EQ(packed.Height(), strip.Height() - 1);
  const std::vector<std::string> lines = SplitLines(testutil::ReadFile(out.File("dejavu-sans.metrics")));
  ASSERT_EQ(lines.size(), 153u);
  EXPECT_EQ(lines[0].substr(0, 6), ">! 1.0");
  EXPECT_EQ(lines[152].substr(0, 3), ">  ");
  EXPECT_LT(packed.Width(), strip.Width()) << "the gaps between cells are gone";
}
