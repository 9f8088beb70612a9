// What the disc says of itself, on a disc image whose cue sheet has CD-Text, a barcode, ISRCs,
// a pre-emphasised track and audio before track 1, imported as AAC and then as FLAC.
#include <zlib.h>

#include "journeys/journey.h"
#include "support/media_files.h"

namespace noru::testing {
namespace {

namespace fs = std::filesystem;

std::uint32_t crcOf(const std::vector<std::uint8_t>& pcm) {
  return static_cast<std::uint32_t>(::crc32_z(::crc32(0, nullptr, 0), pcm.data(), pcm.size()));
}

std::string hexOf(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

TEST_F(Journey, WhatTheDiscSaysOfItselfReachesTheFiles) {
  service.respond("POST", "/v1/cd/lookup", 200, R"({"disc_id":"unknown","releases":[]})");
  launch();
  const auto image =
      insertDisc({{.sectors = 150,
                   .indexZeroSectors = 75,
                   .sheetLines = "    TITLE \"Opening\"\n    ISRC GBAYE9200070\n"},
                  {.sectors = 300,
                   .sheetLines = "    FLAGS PRE\n    TITLE \"Bright\"\n",
                   .tones = {1000, 16000}}},
                 "CATALOG 4006381333931\nPERFORMER \"Disc Artist\"\nTITLE \"Disc Album\"\n");
  const auto rawOf = [&](int track) {
    return image.discAudio(image.tracks[track].startSector, image.tracks[track].sectors);
  };
  const auto album = albumFolder("Disc Artist", "Disc Album");
  // The sheet opens with the disc's CD-Text; the import ends with the hidden track, written last.
  const auto importDescribedDisc = [&](const char* extension) {
    click("Add CD Details");
    EXPECT_EQ(field("Artist")->text(), "Disc Artist");
    EXPECT_EQ(field("Track 2")->text(), "Bright");
    click("Import Disc");
    ASSERT_TRUE(waitFor([&] {
      return fs::exists(album / (std::string("00 Hidden Track") + extension)) && importHasEnded();
    }));
    EXPECT_TRUE(shows(kImportComplete));
  };

  ASSERT_TRUE(waitFor([&] { return app->store().state().cdRip.lookupDiscId.has_value(); }));
  importDescribedDisc(".m4a");
  EXPECT_EQ(probeAudioFile(album / "00 Hidden Track.m4a").codec, "aac");
  const auto opening = readM4AItems(album / "01 Opening.m4a");
  EXPECT_EQ(opening.texts.at("----:com.apple.iTunes:ISRC"), "GBAYE9200070");
  EXPECT_EQ(opening.texts.at("----:com.apple.iTunes:BARCODE"), "4006381333931");
  const auto bright = album / "02 Bright.m4a";
  EXPECT_FALSE(readM4AItems(bright).texts.contains("----:com.apple.iTunes:ISRC"));
  // The AAC file holds the pre-emphasised track as players play it: its treble lowered as the
  // analog 50/15 µs curve does (-0.37 dB at 1 kHz, -9.04 dB at 16 kHz).
  const auto decoded = decodeIgnoringEditList(bright);
  EXPECT_NEAR(toneLevelDB(decoded, 1000) - toneLevelDB(rawOf(1), 1000), -0.37, 0.3);
  EXPECT_NEAR(toneLevelDB(decoded, 16000) - toneLevelDB(rawOf(1), 16000), -9.04, 0.5);
  // The checksums are those of the audio as read.
  EXPECT_NE(fileContents(album / "rip.log").find("CRC-32: " + hexOf(crcOf(rawOf(1)))),
            std::string::npos);

  // The same disc in FLAC: the audio exactly as read, the flag kept as a tag.
  auto preferences = app->store().state().settings.import;
  preferences.format = disc::AudioFormat::flac;
  app->setImportPreferences(preferences);
  importDescribedDisc(".flac");
  EXPECT_EQ(decodeLosslessPCM(album / "02 Bright.flac"), rawOf(1));
  EXPECT_EQ(decodeLosslessPCM(album / "00 Hidden Track.flac"), image.discAudio(0, 75));
  const auto flacItems = readFLACItems(album / "02 Bright.flac");
  EXPECT_EQ(flacItems.texts.at("PRE_EMPHASIS"), "1");
  EXPECT_EQ(flacItems.texts.at("BARCODE"), "4006381333931");
  EXPECT_FALSE(readFLACItems(album / "01 Opening.flac").texts.contains("PRE_EMPHASIS"));
  EXPECT_EQ(readFLACItems(album / "01 Opening.flac").texts.at("ISRC"), "GBAYE9200070");
}

}  // namespace
}  // namespace noru::testing
