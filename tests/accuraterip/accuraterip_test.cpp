// AccurateRip: checksums against an independent reading of the published algorithm, the disc
// identifiers of published discs, the database's answers, drive offsets and offset correction.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "accuraterip/database_answer_error.h"
#include "accuraterip/disc_identifiers.h"
#include "accuraterip/fetch_database_answer.h"
#include "accuraterip/fetch_drive_offsets.h"
#include "accuraterip/offset_corrected_audio_device.h"
#include "accuraterip/parse_database_answer.h"
#include "accuraterip/track_checksums.h"
#include "accuraterip/verify_track.h"
#include "disc/parse_full_toc.h"
#include "platform/http/transport_error.h"
#include "support/accuraterip_files.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace noru::accuraterip {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint32_t> randomWords(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint32_t> words(count);
  for (auto& word : words) {
    word = random();
  }
  return words;
}

Bytes littleEndian(const std::vector<std::uint32_t>& words) {
  Bytes bytes;
  for (const auto word : words) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<std::uint8_t>(word >> shift));
    }
  }
  return bytes;
}

// The published algorithms, written out plainly: every sample in its 1-based position, the
// first track's window from position 2940, the last track's ending 2940 samples early, and the
// offset-finding CRC as v1 over sector 450 alone; CRC-32 bit by bit (reflected 0xEDB88320).
TrackChecksumValues oneShot(const std::vector<std::uint32_t>& words, bool first, bool last) {
  const std::uint64_t n = words.size();
  TrackChecksumValues values;
  for (std::uint64_t p = 1; p <= n; ++p) {
    const std::uint64_t product = words[p - 1] * p;
    if ((!first || p >= 2940) && (!last || p + 2940 <= n)) {
      values.accurateRipV1 += static_cast<std::uint32_t>(product);
      values.accurateRipV2 += static_cast<std::uint32_t>(product) + (product >> 32);
    }
  }
  for (std::uint32_t i = 0; n >= 451 * 588 && i < 588; ++i) {
    values.offsetFindingCRC += words[450 * 588 + i] * (i + 1);
  }
  std::uint32_t crc = 0xFFFFFFFF;
  for (const auto byte : littleEndian(words)) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
  }
  values.crc32 = ~crc;
  return values;
}

TEST(TrackChecksums, StreamedInAnyPiecesEqualThePublishedAlgorithm) {
  const struct {
    const char* what;
    std::size_t sectors;
    bool first, last;
  } cases[] = {{"first", 452, true, false},
               {"middle", 451, false, false},
               {"last", 460, false, true},
               {"one sector, first and last", 1, true, true},
               {"short, first and last", 12, true, true}};
  std::mt19937 random(7);
  for (const auto& c : cases) {
    const auto words = randomWords(c.sectors * 588, static_cast<unsigned>(c.sectors));
    const auto bytes = littleEndian(words);
    const auto expected = oneShot(words, c.first, c.last);
    TrackChecksums whole(static_cast<std::int64_t>(words.size()), c.first, c.last);
    whole.add(bytes);
    EXPECT_TRUE(whole.complete()) << c.what;
    EXPECT_EQ(whole.values(), expected) << c.what;
    for (int round = 0; round < 3; ++round) {
      TrackChecksums pieces(static_cast<std::int64_t>(words.size()), c.first, c.last);
      for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t size = std::min<std::size_t>(random() % 9000, bytes.size() - at);
        pieces.add(std::span(bytes).subspan(at, size));
        at += size;
      }
      EXPECT_EQ(pieces.values(), expected) << c.what << ", round " << round;
    }
  }
  // The worked example of the checksum in the Python Audio Tools format reference
  // (docs/reference/accuraterip.tex, "Checksum Calculation Example"): ten samples, left and
  // right, of a track that is neither first nor last.
  const int example[10][2] = {{0, 64},  {16, 62}, {31, 56},  {44, 47},  {54, 34},
                              {61, 20}, {64, 4},  {63, -12}, {58, -27}, {49, -41}};
  std::vector<std::uint32_t> words;
  for (const auto& s : example) {
    words.push_back(static_cast<std::uint16_t>(s[1]) << 16 | static_cast<std::uint16_t>(s[0]));
  }
  TrackChecksums track(10, false, false);
  track.add(littleEndian(words));
  EXPECT_EQ(track.values().accurateRipV1, 0x00710B55u);
}

// A full TOC: one session per entry of `sessions`, each with its tracks and its lead-out;
// track numbers run on across sessions.
struct Track {
  Track(std::int32_t start, bool data = false) : start(start), data(data) {}
  std::int32_t start;
  bool data;
};
struct Session {
  std::vector<Track> tracks;
  std::int32_t leadOut;
};

Bytes fullToc(const std::vector<Session>& sessions) {
  Bytes bytes = {0, 0, 1, 1};
  auto descriptor = [&](std::uint8_t session, std::uint8_t point, bool data, std::int32_t lba) {
    const auto f = lba + 150;
    bytes.insert(bytes.end(),
                 {session, static_cast<std::uint8_t>(data ? 0x14 : 0x10), 0, point, 0, 0, 0, 0,
                  static_cast<std::uint8_t>(f / 4500), static_cast<std::uint8_t>(f / 75 % 60),
                  static_cast<std::uint8_t>(f % 75)});
  };
  std::uint8_t number = 1;
  for (std::uint8_t s = 0; s < sessions.size(); ++s) {
    for (const auto& track : sessions[s].tracks) {
      descriptor(s + 1, number++, track.data, track.start);
    }
    descriptor(s + 1, 0xA2, false, sessions[s].leadOut);
  }
  bytes[0] = static_cast<std::uint8_t>((bytes.size() - 2) >> 8);
  bytes[1] = static_cast<std::uint8_t>(bytes.size() - 2);
  return bytes;
}

TEST(DiscIdentifiers, PublishedDiscsGiveTheirPublishedIdentifiersAndPath) {
  // Plain: the example of the Python Audio Tools format reference (docs/reference/
  // accuraterip.tex, "Calculating the AccurateRip ID"). Enhanced CD ("Liquid" by Recoil: ten
  // audio tracks, a data session) and a data-first disc ("Mortal Kombat Trilogy": a data track,
  // 28 audio tracks): "Data track handling in AccurateRip disc ID calculation",
  // github.com/arcctgx/ARver doc/data_track.md, identifiers as dBpoweramp and EAC compute them.
  const struct {
    const char* what;
    std::vector<Session> toc;
    const char* path;
  } cases[] = {
      {"plain",
       {{{0, 14868, 27120}, 42050}},
       "/accuraterip/6/4/8/dBAR-003-00014846-00044301-10023003.bin"},
      {"enhanced",
       {{{0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305}, 270185},
        {{{281585, true}}, 333651}},
       "/accuraterip/9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin"},
      {"data first",
       {{{{0, true}, 66578,  76352,  85813,  93610,  103898, 115916, 124593, 134056, 142766,
          151702,    160570, 169275, 178581, 188309, 196561, 206204, 214695, 223536, 225596,
          226234,    232518, 239297, 239781, 244839, 254114, 259916, 261072, 261524},
         261826}},
       "/accuraterip/4/5/a/dBAR-028-00517a54-05a845d2-af0da31d.bin"},
  };
  for (const auto& c : cases) {
    const auto layout = disc::parseFullTOCLayout(fullToc(c.toc));
    ASSERT_TRUE(layout) << c.what;
    const auto ids = DiscIdentifiers::from(*layout);
    ASSERT_TRUE(ids) << c.what;
    EXPECT_EQ(ids->databasePath(), c.path) << c.what;
  }
  EXPECT_FALSE(DiscIdentifiers::from(*disc::parseFullTOCLayout(fullToc({{{{0, true}}, 900}}))));
}

const DiscIdentifiers kDisc{3, 0x14846, 0x44301, 0x10023003};

// One database block of kDisc's file, as bytes.
Bytes block(std::uint8_t trackCount,
            const std::vector<std::pair<std::uint8_t, std::uint32_t>>& tracks) {
  const auto bytes = testing::accurateRipBlock(kDisc, tracks, trackCount);
  return {bytes.begin(), bytes.end()};
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(DatabaseAnswer, ParsedOrRefusedFetchedAndUsedToVerifyTracks) {
  const Bytes v1Pressing = block(3, {{5, 0xA1}, {5, 0xA2}, {0, 0}});
  const Bytes v2Pressing = block(3, {{9, 0xB1}, {2, 0xB2}, {0, 0}});
  const Bytes other = block(3, {{3, 0xC1}, {2, 0xA2}, {0, 0}});
  const auto pressings = parseDatabaseAnswer(v1Pressing + v2Pressing + other, kDisc);
  ASSERT_EQ(pressings.size(), 3u);
  EXPECT_EQ(pressings[1].tracks[0], (PressingTrack{9, 0xB1, 0xB2}));
  EXPECT_EQ(parseDatabaseAnswer(v1Pressing, kDisc), std::vector{pressings[0]});
  const Bytes refused[] = {{},
                           Bytes(v1Pressing.begin(), v1Pressing.end() - 1),
                           v1Pressing + Bytes{0},
                           block(4, {{1, 1}, {1, 2}, {1, 3}, {1, 4}}),
                           block(2, {{1, 1}, {1, 2}, {1, 3}})};
  for (const auto& body : refused) {
    EXPECT_THROW(parseDatabaseAnswer(body, kDisc), DatabaseAnswerError) << body.size();
  }

  const struct {
    std::size_t entry;
    std::uint32_t v1, v2;
    TrackVerification expected;
  } verifications[] = {
      {0, 0xA1, 0xB1, Accurate{9, ChecksumVersion::v2}},
      {0, 0xA1, 0xFF, Accurate{5, ChecksumVersion::v1}},
      {1, 0xA2, 0xFF, Accurate{5, ChecksumVersion::v1}},
      {1, 0xFF, 0xFE, NotAccurate{}},
      {2, 0, 0, Unverifiable{}},
      {3, 0xA1, 0xB1, Unverifiable{}},
  };
  for (const auto& v : verifications) {
    EXPECT_EQ(verifyTrack(pressings, v.entry, v.v1, v.v2), v.expected) << v.entry;
  }
  EXPECT_EQ(verifyTrack({}, 0, 0xA1, 0xB1), TrackVerification{Unverifiable{}});

  testing::TestHttpServer server;
  const FetchDatabaseAnswer fetch{{.accurateRip = server.url()}};
  const auto path = kDisc.databasePath();
  const auto body = v1Pressing + v2Pressing;
  server.respond("GET", path, 200, std::string(body.begin(), body.end()),
                 "application/octet-stream");
  EXPECT_EQ(fetch(kDisc, {}), (std::vector{pressings[0], pressings[1]}));
  server.respond("GET", path, 200, "junk", "application/octet-stream");
  EXPECT_THROW(fetch(kDisc, {}), DatabaseAnswerError);
  server.respond("GET", path, 503, "", "text/plain");
  EXPECT_THROW(fetch(kDisc, {}), DatabaseAnswerError);
  EXPECT_EQ(fetch(DiscIdentifiers{3, 1, 2, 3}, {}), std::nullopt);  // 404
  EXPECT_EQ(server.requests().back().path, DiscIdentifiers({3, 1, 2, 3}).databasePath());
  server.stop();
  EXPECT_THROW(fetch(kDisc, {}), platform::http::TransportError);
}

Bytes driveRecord(const std::string& name, std::int16_t offset) {
  const auto record = testing::driveOffsetRecord(name, offset);
  return {record.begin(), record.end()};
}

TEST(DriveOffsets, ParsedLookedUpByVendorAndModelAndDownloadedOnce) {
  const Bytes list = driveRecord("PIONEER - BD-RW BDR-S12", 667) +
                     driveRecord("LITE-ON - LTR-52327S", -472) +
                     driveRecord("HL-DT-ST - DVDRAM GH24NSB0", 6);
  const auto offsets = DriveOffsets::parse(list);
  EXPECT_EQ(offsets.drives[1], (DriveOffset{"LITE-ON - LTR-52327S", -472, 42, 0}));
  EXPECT_EQ(offsets.readOffset("PIONEER ", "BD-RW BDR-S12   "), 667);
  EXPECT_EQ(offsets.readOffset("lite-on", "ltr-52327s"), -472);
  EXPECT_EQ(offsets.readOffset("HL-DT-ST", "DVDRAM GH24NSB"), std::nullopt);
  EXPECT_THROW(DriveOffsets::parse(Bytes(list.begin(), list.end() - 1)), DriveOffsetsError);
  EXPECT_THROW(DriveOffsets::parse({}), DriveOffsetsError);

  testing::TemporaryFolder folder;
  testing::TestHttpServer server;
  server.respond("GET", "/accuraterip/DriveOffsets.bin", 200, std::string(list.begin(), list.end()),
                 "application/octet-stream");
  const auto cache = folder.path() / "noru-cd-ripper" / "DriveOffsets.bin";
  const FetchDriveOffsets fetch{
      {.accurateRip = server.url(), .cacheFolder = folder.path() / "noru-cd-ripper"}};
  EXPECT_EQ(fetch({}), offsets);
  EXPECT_EQ(fetch({}), offsets);
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(testing::filesUnder(folder.path()),
            (std::set<std::string>{"noru-cd-ripper", "noru-cd-ripper/DriveOffsets.bin"}));
  EXPECT_EQ(testing::fileContents(cache), std::string(list.begin(), list.end()));
}

// A drive reading a disc of `disc` samples with read offset `offset`: asked for its sample j, it
// delivers the disc's sample j - offset (junk where that is off the disc). It refuses reads of
// more than 75 sectors or outside the disc, and every read while `failing`; it keeps a log of
// the reads.
struct ShiftedDrive : platform::linux_cd::AudioDevice {
  std::vector<std::uint32_t> disc;
  std::int32_t offset = 0;
  bool failing = false;
  std::vector<std::pair<std::int32_t, int>> reads;

  int open(const std::string&) override { return 3; }
  int close(int) override { return 0; }
  int readAudio(int, std::int32_t first, int sectors, std::uint8_t* buffer) override {
    reads.emplace_back(first, sectors);
    if (failing || sectors < 1 || sectors > 75 || first < 0 ||
        (first + sectors) * 588 > std::int64_t(disc.size())) {
      errno = EIO;
      return -1;
    }
    std::vector<std::uint32_t> words;
    for (std::int64_t j = first * 588LL; j < (first + sectors) * 588LL; ++j) {
      const auto k = j - offset;
      words.push_back(k >= 0 && k < std::int64_t(disc.size()) ? disc[k] : 0xDEADBEEF);
    }
    std::memcpy(buffer, littleEndian(words).data(), words.size() * 4);
    return 0;
  }
  // Flags every disc sample whose number is a multiple of 1000.
  int readAudioFlagged(int descriptor, std::int32_t first, int sectors, std::uint8_t* buffer,
                       std::uint8_t* flagged) override {
    for (std::int64_t j = first * 588LL; j < (first + sectors) * 588LL; ++j) {
      flagged[j - first * 588LL] = (j - offset) % 1000 == 0 ? 1 : 0;
    }
    return readAudio(descriptor, first, sectors, buffer);
  }
};

TEST(OffsetCorrectedAudioDevice, ReadsTheDiscsSamplesWithSilenceBeyondItsEnds) {
  constexpr std::int32_t kLeadOut = 160;
  for (const std::int32_t offset : {6, -30, 667, 588}) {
    auto drive = std::make_shared<ShiftedDrive>();
    drive->disc = randomWords(kLeadOut * 588, static_cast<unsigned>(offset + 100));
    drive->offset = offset;
    OffsetCorrectedAudioDevice corrected(drive, offset, kLeadOut);
    const auto expected = [&](std::int32_t first, std::int32_t sectors) {
      std::vector<std::uint32_t> samples;
      for (std::int64_t k = first * 588LL; k < (first + sectors) * 588LL; ++k) {
        const bool reachable = k + offset >= 0 && k + offset < kLeadOut * 588LL;
        samples.push_back(reachable ? drive->disc[k] : 0);
      }
      return littleEndian(samples);
    };
    // The drive's C2 flags move with the samples they belong to.
    for (const auto& [first, sectors] :
         {std::pair{0, 75}, {40, 75}, {85, 75}, {159, 1}, {0, 1}, {2, 3}}) {
      Bytes read(sectors * 2352u);
      Bytes flags(sectors * 588u);
      ASSERT_EQ(corrected.readAudioFlagged(3, first, sectors, read.data(), flags.data()), 0);
      EXPECT_EQ(read, expected(first, sectors)) << offset << " @" << first;
      for (std::int64_t k = first * 588LL; k < (first + sectors) * 588LL; ++k) {
        const bool reachable = k + offset >= 0 && k + offset < kLeadOut * 588LL;
        ASSERT_EQ(flags[k - first * 588LL], reachable && k % 1000 == 0 ? 1 : 0) << k;
      }
    }
    // Two tracks read as the import reads them, each with a descriptor of its own: the whole
    // disc, and each drive sector it needs read once (for +667 the disc starts in sector 1).
    drive->reads.clear();
    Bytes whole;
    int descriptor = 3;
    for (const auto& [start, count] : {std::pair{0, 110}, {110, 50}}) {
      for (std::int32_t first = start; first < start + count; first += 75) {
        Bytes read(std::min(start + count - first, 75) * 2352u);
        ASSERT_EQ(corrected.readAudio(descriptor, first, int(read.size() / 2352), read.data()), 0);
        whole.insert(whole.end(), read.begin(), read.end());
      }
      ++descriptor;
    }
    EXPECT_EQ(whole, expected(0, kLeadOut)) << offset;
    std::vector<int> timesRead(kLeadOut), once(kLeadOut, 1);
    std::fill_n(once.begin(), std::max(offset / 588, 0), 0);
    for (const auto& [first, sectors] : drive->reads) {
      for (auto sector = first; sector < first + sectors; ++sector) {
        ++timesRead[sector];
      }
    }
    EXPECT_EQ(timesRead, once) << offset;
    // A failed read drops what was kept: the retry reads the drive from the sector that holds
    // the request's first sample.
    Bytes read(75 * 2352);
    ASSERT_EQ(corrected.readAudio(3, 0, 75, read.data()), 0);
    drive->failing = true;
    EXPECT_EQ(corrected.readAudio(3, 75, 75, read.data()), -1);
    drive->failing = false;
    const auto before = drive->reads.size();
    ASSERT_EQ(corrected.readAudio(3, 75, 75, read.data()), 0);
    EXPECT_EQ(read, expected(75, 75)) << offset;
    EXPECT_EQ(drive->reads.at(before).first, (75 * 588 + offset) / 588) << offset;
    // A sector asked for again is read again, even when the sector kept from the last read
    // holds all of it (an offset of whole sectors).
    const auto readsBefore = drive->reads.size();
    for (int time = 0; time < 2; ++time) {
      ASSERT_EQ(corrected.readAudio(3, 4, 1, read.data()), 0);
    }
    EXPECT_EQ(drive->reads.size(), readsBefore + 2) << offset;
  }
  // Offset 0 hands every call on unchanged, failures included.
  auto drive = std::make_shared<ShiftedDrive>();
  drive->disc = randomWords(10 * 588, 1);
  OffsetCorrectedAudioDevice uncorrected(drive, 0, 10);
  Bytes read(2 * 2352);
  EXPECT_EQ(uncorrected.readAudio(3, 4, 2, read.data()), 0);
  const auto image = littleEndian(drive->disc);
  EXPECT_EQ(read, Bytes(image.begin() + 4 * 2352, image.begin() + 6 * 2352));
  EXPECT_EQ(uncorrected.readAudio(3, 9, 2, read.data()), -1);
  EXPECT_EQ(drive->reads, (std::vector<std::pair<std::int32_t, int>>{{4, 2}, {9, 2}}));
}

}  // namespace
}  // namespace noru::accuraterip
