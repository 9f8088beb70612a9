// The CUETools database: a disc's table of contents and id against published vectors, the
// decoding of its answers, and the CRCs of a disc at other read offsets against zlib's CRC-32
// of the shifted windows.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <sstream>

#include "ctdb/ctdb_toc.h"
#include "ctdb/disc_crcs.h"
#include "ctdb/fetch_ctdb_answer.h"
#include "ctdb/fetch_ctdb_syndromes.h"
#include "ctdb/find_column_errors.h"
#include "ctdb/galois16.h"
#include "ctdb/parse_ctdb_answer.h"
#include "ctdb/rip_syndromes.h"
#include "ctdb/verify_rip.h"
#include "support/test_http_server.h"

namespace noru::ctdb {
namespace {

// A layout from a TOC written as the published vectors write it ("audio track count+each
// track's start+…+lead-out", hex frames, 150 added to each logical address; an Enhanced CD's
// data track after the audio tracks), the tracks numbered in `data` being data tracks.
disc::FullTOCLayout layoutOf(const std::string& hex, const std::set<int>& data = {}) {
  std::vector<std::int32_t> frames;
  std::istringstream parts(hex);
  for (std::string part; std::getline(parts, part, '+');) {
    frames.push_back(static_cast<std::int32_t>(std::stol(part, nullptr, 16)) - 150);
  }
  disc::FullTOCLayout layout{.leadOut = frames.back()};
  for (std::size_t index = 1; index + 1 < frames.size(); ++index) {
    const int number = static_cast<int>(index);
    layout.tracks.push_back({number, frames[index], data.contains(number), 1});
  }
  return layout;
}

// Published vectors (plain, Enhanced CD, hidden audio before track 1, 99 tracks) and a disc
// whose first track is data.
TEST(CTDBToc, TextAndIdOfPublishedDiscs) {
  const struct {
    disc::FullTOCLayout layout;
    std::string text;
    std::string id;
  } discs[] = {
      {layoutOf("4+96+2D2B+6256+B327+D84A"), "0:11413:25024:45713:55220",
       "VukMWWItblELRM.CEFpXxw0FlME-"},
      {layoutOf("D+96+3B5D+78E3+B441+EC83+134F4+17225+1A801+1EA5C+23B5B+27CEF+2B58B+2F974+35D56+"
                "514C8",
                {14}),
       "0:15047:30797:45995:60397:78942:94607:108395:125382:146117:162905:177397:194782:-220352:"
       "332850",
       "gmEsiU5wvQFA1Nq9YE_posiwgK8-"},
      {layoutOf("18+B6+3CE3+7C6F+B2BD+E47F+1121C+15865+175E0+1AED9+1E159+20BF9+235FC+259EF+2826E+"
                "29B62+2ED67+311B1+3396B+36ACB+3916B+3BB75+3D60A+40AA6+422FE+48B68+4E4CB",
                {25}),
       "32:15437:31705:45607:58345:70022:88015:95562:110147:123075:133987:144742:153945:164312:"
       "170700:191697:200987:211157:223797:233685:244447:251252:264720:270952:-297682:320565",
       "sBOUSHYC0oLdQZtAEQcmnc3V3Ak-"},
      {layoutOf("15+247E+2BEC+4AF4+7368+9704+B794+E271+110D0+12B7A+145C1+16CAF+195CF+1B40F+1F04A+"
                "21380+2362D+2589D+2793D+2A760+2DA32+300E1+32B46"),
       "9192:11094:19038:29394:38510:46846:57819:69690:76516:83243:93209:103737:111481:126900:"
       "135914:144791:153607:161959:173770:186780:196683:207536",
       "8geCxI4CSyw_ydvHWGmPQUGF1UE-"},
      {layoutOf("10+B6+5352+62AC+99D6+E218+12AC0+135E7+142E9+178B0+19D22+1B0D0+1E7FA+22882+247DB+"
                "27074+2A1BD+2C0FB"),
       "32:21180:25110:39232:57730:76330:79185:82515:96282:105612:110650:124772:141292:149317:"
       "159710:172327:180325",
       "iL4EZ56YD5WmG..M4v5qzPG0cFY-"},
  };
  for (const auto& [layout, text, id] : discs) {
    SCOPED_TRACE(text);
    const auto toc = CTDBToc::from(layout);
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->text, text);
    EXPECT_EQ(toc->id, id);
  }
  // 99 tracks: every entry of the id is a track.
  const std::string hex =
      "63+96+12D9+5546+A8A2+CAAA+128BF+17194+171DF+1722A+17275+172C0+1730B+17356+173A1+173EC+17"
      "437+17482+174CD+17518+17563+175AE+175F9+17644+1768F+176DA+17725+17770+177BB+17806+17851+"
      "1789C+178E7+17932+1797D+179C8+17A13+17A5E+17AA9+17AF4+17B3F+17B8A+17BD5+17C20+17C6B+17CB"
      "6+17D01+17D4C+17D97+17DE2+17E2D+17E78+17EC3+17F0E+17F59+17FA4+17FEF+1803A+18085+180D0+18"
      "11B+18166+181B1+181FC+18247+18292+182DD+18328+18373+183BE+18409+18454+1849F+184EA+18535+"
      "18580+185CB+18616+18661+186AC+186F7+18742+1878D+187D8+18823+1886E+188B9+18904+1894F+1899"
      "A+189E5+18A30+18A7B+18AC6+18B11+18B5C+18BA7+18BF2+18C38+1ECDC+246E9";
  const auto ninetyNine = CTDBToc::from(layoutOf(hex));
  ASSERT_TRUE(ninetyNine);
  EXPECT_EQ(ninetyNine->audioStarts.size(), 99u);
  EXPECT_EQ(ninetyNine->id, "okpTZ4Yt2noZkGqbBLte3FfkyVs-");

  // Data first: everything counts from the first audio track.
  const auto dataFirst = CTDBToc::from(layoutOf("3+96+3AAE+77C6+AFC8", {1}));
  ASSERT_TRUE(dataFirst);
  EXPECT_EQ(dataFirst->text, "-0:14872:30512:44850");
  const auto plainAfterIt = CTDBToc::from(layoutOf("2+3AAE+77C6+AFC8"));
  EXPECT_EQ(dataFirst->id, plainAfterIt->id);
  EXPECT_FALSE(CTDBToc::from(layoutOf("1+96+AFC8", {1}))) << "no audio track";
}

TEST(ParseCTDBAnswer, EntriesOrNothing) {
  const std::string head =
      R"(<?xml version="1.0"?><ctdb xmlns="http://db.cuetools.net/ns/mmd-1.0#">)";
  const std::string repairable =
      R"(<entry confidence="12" crc32="0a1b2c3d" hasparity="/parity/77" id="77" npar="2" )"
      R"(stride="5880" syndrome="AQACAA==" toc="0:100:200" trackcrcs="00000001 fffffffe"/>)";
  const std::string old =
      R"(<entry confidence="3" crc32="ffffffff" id="8" npar="8" parity="AAAA" stride="5880" )"
      R"(toc="0:100:200" trackcrcs="00000003 00000004"/>)";
  const auto entries = parseCTDBAnswer(head + repairable + old + R"(<entry id="9"/></ctdb>)");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 2u) << "an entry without a toc is passed over";
  EXPECT_EQ((*entries)[0], (CTDBEntry{.id = "77",
                                      .crc32 = 0x0a1b2c3d,
                                      .confidence = 12,
                                      .trackCRCs = {1, 0xfffffffe},
                                      .toc = "0:100:200",
                                      .npar = 2,
                                      .stride = 5880,
                                      .syndromes = "/parity/77",
                                      .syndrome = {1, 2}}));
  EXPECT_FALSE((*entries)[1].syndromes);
  EXPECT_EQ(parseCTDBAnswer(head + "</ctdb>"), std::vector<CTDBEntry>{});

  const auto with = [&](const std::string& from, const std::string& to) {
    auto entry = repairable;
    entry.replace(entry.find(from), from.size(), to);
    return head + entry + "</ctdb>";
  };
  for (const auto& malformed :
       {with(R"(crc32="0a1b2c3d")", R"(crc32="0a1b2c3")"),
        with(R"(crc32="0a1b2c3d")", R"(crc32="0a1b2c3g")"),
        with(R"(confidence="12")", R"(confidence="-1")"), with(R"(confidence="12")", ""),
        with("00000001 ", "1 "), with(R"(npar="2")", R"(npar="3")"),
        with(R"(syndrome="AQACAA==")", R"(syndrome="AQACAA=")"), head + repairable,
        std::string("<other/>"), std::string("not xml at all")}) {
    EXPECT_FALSE(parseCTDBAnswer(malformed)) << malformed;
  }
}

// Three tracks of noise, whole sectors long, so that the disc's length is no whole number of
// 5880-sample rows.
TEST(DiscCRCs, EqualZlibOverTheWindowsShiftedByTheOffsetAndFindTheEntryOfTheRip) {
  const std::vector<std::int64_t> lengths = {40 * 588, 35 * 588, 50 * 588};
  std::vector<std::uint8_t> audio;
  std::mt19937 noise(7);
  for (const auto samples : lengths) {
    for (std::int64_t i = 0; i < samples * 4; ++i) {
      audio.push_back(static_cast<std::uint8_t>(noise()));
    }
  }
  auto crcs = DiscCRCs::forTracks(lengths);
  ASSERT_TRUE(crcs);
  std::int64_t start = 0;
  for (std::size_t index = 0; index < lengths.size(); ++index) {
    const std::span track(audio.data() + start * 4, static_cast<std::size_t>(lengths[index] * 4));
    // A first read that a second one corrected: only the last counts.
    crcs->setTrack(index, std::vector<std::uint8_t>(track.size(), 0x55));
    EXPECT_FALSE(crcs->atOffsets() && index + 1 < lengths.size());
    crcs->setTrack(index, track);
    start += lengths[index];
  }
  const auto sums = crcs->atOffsets();
  ASSERT_TRUE(sums);

  const std::int64_t samples = start;
  const std::int64_t end = samples - (5880 + samples % 5880);
  const auto zlib = [&](std::int64_t from, std::int64_t to) {
    return static_cast<std::uint32_t>(::crc32_z(0, audio.data() + from * 4, (to - from) * 4));
  };
  const std::int64_t boundaries[] = {5880, lengths[0], lengths[0] + lengths[1], end};
  for (const std::int32_t offset : {0, 667, -1200, 5879, -5879}) {
    SCOPED_TRACE(offset);
    EXPECT_EQ(sums->disc(offset), zlib(5880 + offset, end + offset));
    for (std::size_t index = 0; index < lengths.size(); ++index) {
      EXPECT_EQ(sums->track(index, offset),
                zlib(boundaries[index] + offset, boundaries[index + 1] + offset))
          << index;
    }
  }
  EXPECT_EQ(sums->offsetOf(zlib(5880 + 667, end + 667)), 667);
  EXPECT_EQ(sums->offsetOf(zlib(5880 - 1200, end - 1200)), -1200);
  EXPECT_EQ(sums->offsetOf(0x12345678), std::nullopt);

  // The database's entries: this pressing at +667; another whose disc CRC differs but that
  // holds track 2 at -1200; one of another layout.
  const auto trackCRCsAt = [&](std::int32_t offset) {
    std::vector<std::uint32_t> crcs;
    for (std::size_t index = 0; index < lengths.size(); ++index) {
      crcs.push_back(zlib(boundaries[index] + offset, boundaries[index + 1] + offset));
    }
    return crcs;
  };
  const CTDBEntry pressing{
      .crc32 = zlib(5880 + 667, end + 667), .confidence = 5, .trackCRCs = trackCRCsAt(667)};
  const CTDBEntry other{.crc32 = 1, .confidence = 9, .trackCRCs = {7, trackCRCsAt(-1200)[1], 0}};
  const CTDBEntry fewer{.crc32 = pressing.crc32, .confidence = 20, .trackCRCs = {1, 2}};
  EXPECT_EQ(verifyRip({other, pressing, fewer}, *sums, 3),
            (RipVerdict{.disc = RipVerdict::DiscMatch{1, 667, 5}, .tracks = {5, 5, 5}}));
  EXPECT_EQ(verifyRip({other, fewer}, *sums, 3), (RipVerdict{.tracks = {0, 9, 0}}));

  EXPECT_FALSE(DiscCRCs::forTracks({5880 * 3, 100, 5880 * 3})) << "a track of 100 samples";
  EXPECT_FALSE(DiscCRCs::forTracks({}));
}

// Carry-less multiplication modulo 0x1100B, bit by bit.
std::uint16_t multiplied(std::uint16_t a, std::uint16_t b) {
  std::uint32_t product = 0;
  for (int bit = 0; bit < 16; ++bit) {
    product ^= (b >> bit & 1u) ? std::uint32_t{a} << bit : 0;
  }
  for (int bit = 31; bit >= 16; --bit) {
    product ^= (product >> bit & 1u) ? 0x1100Bu << (bit - 16) : 0;
  }
  return static_cast<std::uint16_t>(product);
}

// S_i = c(α^i), the column's first word the highest power, by Horner's rule.
std::vector<std::uint16_t> syndromesOf(const std::vector<std::uint16_t>& column, int npar) {
  std::vector<std::uint16_t> syndromes;
  std::uint16_t root = 1;
  for (int i = 0; i < npar; ++i, root = multiplied(root, 2)) {
    std::uint16_t value = 0;
    for (const auto word : column) {
      value = static_cast<std::uint16_t>(multiplied(value, root) ^ word);
    }
    syndromes.push_back(value);
  }
  return syndromes;
}

// A column of 300 words with wrong words at random rows: up to npar / 2 of them are found
// exactly, from the syndromes alone; more, or one outside the rows searched, change nothing.
TEST(FindColumnErrors, FindsUpToHalfTheSyndromesWrongWordsAndNoMore) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 200; ++trial) {
    const std::uint16_t a = static_cast<std::uint16_t>(random());
    const std::uint16_t b = static_cast<std::uint16_t>(random() | 1);
    ASSERT_EQ(Galois16::field().multiply(a, b), multiplied(a, b));
    ASSERT_EQ(Galois16::field().divide(multiplied(a, b), b), a);
  }
  constexpr int kWords = 300;
  std::vector<int> everyPower(kWords);
  std::iota(everyPower.begin(), everyPower.end(), 0);
  for (const int npar : {8, 16}) {
    for (int wrong = 0; wrong <= npar / 2 + 1; ++wrong) {
      SCOPED_TRACE(::testing::Message() << npar << " syndromes, " << wrong << " wrong words");
      std::vector<std::uint16_t> right(kWords);
      for (auto& word : right) {
        word = static_cast<std::uint16_t>(random());
      }
      auto read = right;
      std::vector<WordError> errors;
      for (int row : std::vector<int>{3, 299, 0, 150, 151, 152, 40, 41, 42}) {
        if (static_cast<int>(errors.size()) == wrong) {
          break;
        }
        const auto value = static_cast<std::uint16_t>(random() | 1);
        read[static_cast<std::size_t>(row)] ^= value;
        errors.push_back({kWords - 1 - row, value});
      }
      auto difference = syndromesOf(read, npar);
      const auto rightSyndromes = syndromesOf(right, npar);
      for (std::size_t i = 0; i < difference.size(); ++i) {
        difference[i] ^= rightSyndromes[i];
      }
      const auto found = findColumnErrors(difference, everyPower);
      if (wrong > npar / 2) {
        EXPECT_FALSE(found);
        continue;
      }
      ASSERT_TRUE(found);
      auto sorted = *found;
      std::ranges::sort(sorted, {}, &WordError::power);
      std::ranges::sort(errors, {}, &WordError::power);
      EXPECT_EQ(sorted, errors);
      if (wrong > 0) {
        EXPECT_FALSE(findColumnErrors(difference, std::span(everyPower).first(100)))
            << "a wrong word outside the rows searched";
      }
    }
  }
}

// The syndromes of a small disc (7 rows and a part), added track by track with a track read
// again, equal each column's by Horner's rule over rows 1 … 5, and at other offsets those of the
// audio shifted (the offset found from column 0's); from the difference of a rip with a burst of
// wrong audio across three rows, every column's wrong words are found from its first eight
// syndromes and put right.
TEST(RipSyndromes, EqualEachColumnsAtAnyOffsetAndRepairABurstAcrossRows) {
  constexpr std::int64_t kRow = RipSyndromes::kRowSamples;
  const std::int64_t samples = 7 * kRow + 1234;
  std::mt19937 random(5);
  std::vector<std::uint8_t> audio(static_cast<std::size_t>(samples) * 4);
  for (auto& byte : audio) {
    byte = static_cast<std::uint8_t>(random());
  }
  const auto piece = [&](const std::vector<std::uint8_t>& bytes, std::int64_t from,
                         std::int64_t to) {
    return std::span(bytes).subspan(static_cast<std::size_t>(from) * 4,
                                    static_cast<std::size_t>(to - from) * 4);
  };
  const auto syndromesOfRip = [&](const std::vector<std::uint8_t>& bytes) {
    RipSyndromes syndromes(samples);
    const std::vector<std::uint8_t> misread(bytes.size(), 0x3C);
    for (const auto& [from, to] : {std::pair{0L, 9000L}, {9000L, 30001L}, {30001L, samples}}) {
      if (from == 9000) {  // read first as other audio, then again
        syndromes.add(from, piece(misread, from, to));
        syndromes.add(from, piece(misread, from, to));
      }
      syndromes.add(from, piece(bytes, from, to));
    }
    return syndromes;
  };
  const auto clean = syndromesOfRip(audio);
  ASSERT_EQ(clean.rows(), 5);
  const auto wordAt = [&](const std::vector<std::uint8_t>& bytes, std::int64_t row,
                          std::size_t column) {
    const auto byte = static_cast<std::size_t>(row * kRow * 4) + column * 2;
    return static_cast<std::uint16_t>(bytes[byte] | bytes[byte + 1] << 8);
  };
  for (const std::size_t column : {0u, 1u, 5001u, 11759u}) {
    std::vector<std::uint16_t> words;
    for (std::int64_t row = 1; row <= 5; ++row) {
      words.push_back(wordAt(audio, row, column));
    }
    const auto expected = syndromesOf(words, 16);
    for (std::size_t i = 0; i < 16; ++i) {
      ASSERT_EQ(clean.syndrome(i, column), expected[i]) << column << ", S_" << i;
    }
  }

  // As a pressing read `offset` samples later would have them, from the rows kept at the ends.
  for (const std::int32_t offset : {667, -1200, 5879, -5879}) {
    SCOPED_TRACE(offset);
    std::vector<std::uint8_t> shifted(audio.size(), 0);
    for (std::int64_t sample = std::max<std::int64_t>(0, -offset);
         sample < std::min(samples, samples - offset); ++sample) {
      std::copy_n(audio.begin() + (sample + offset) * 4, 4, shifted.begin() + sample * 4);
    }
    RipSyndromes pressing(samples);
    pressing.add(0, shifted);
    for (std::size_t column = 0; column < RipSyndromes::kColumns; column += 7) {
      for (std::size_t i = 0; i < 16; ++i) {
        ASSERT_EQ(clean.syndromeAt(offset, i, column), pressing.syndrome(i, column))
            << column << ", S_" << i;
      }
    }
    std::vector<std::uint16_t> column0;
    for (std::size_t i = 0; i < 8; ++i) {
      column0.push_back(pressing.syndrome(i, 0));
    }
    EXPECT_EQ(clean.offsetOf(column0), offset);
  }

  // 20 sectors of wrong samples from the middle of row 2 into row 4: two wrong words in every
  // column.
  auto damaged = audio;
  for (std::int64_t sample = 2 * kRow + 3000; sample < 4 * kRow + 3000; ++sample) {
    damaged[static_cast<std::size_t>(sample) * 4] ^= 0xA5;
    damaged[static_cast<std::size_t>(sample) * 4 + 3] ^= 0x01;
  }
  const auto read = syndromesOfRip(damaged);
  const std::vector<int> powers = {0, 1, 2, 3, 4};  // rows 5 … 1
  auto repaired = damaged;
  for (std::size_t column = 0; column < RipSyndromes::kColumns; ++column) {
    std::vector<std::uint16_t> difference;
    for (std::size_t i = 0; i < 8; ++i) {
      difference.push_back(read.syndrome(i, column) ^ clean.syndrome(i, column));
    }
    const auto errors = findColumnErrors(difference, powers);
    ASSERT_TRUE(errors) << column;
    for (const auto& [power, value] : *errors) {
      const auto byte = static_cast<std::size_t>((5 - power) * kRow * 4) + column * 2;
      repaired[byte] ^= static_cast<std::uint8_t>(value);
      repaired[byte + 1] ^= static_cast<std::uint8_t>(value >> 8);
    }
  }
  EXPECT_EQ(repaired, audio);
}

// The start of an entry's file of syndromes is asked for with a Range request and used only when
// its column 0 is the entry's; another disc's file, a short one or a missing one is refused.
TEST(FetchCTDBSyndromes, TakesTheFirstSyndromesOfTheEntrysFileOnly) {
  testing::TestHttpServer server;
  std::string file;
  for (std::size_t word = 0; word < 16 * FetchCTDBSyndromes::kColumns; ++word) {
    file += static_cast<char>(word * 7);
    file += static_cast<char>(word >> 8);
  }
  server.respond("GET", "/parity/77", 200, file, "application/octet-stream");
  server.respond("GET", "/short", 200, file.substr(0, 1000), "application/octet-stream");
  const auto syndrome = [&](std::size_t i) {
    const auto word = i * FetchCTDBSyndromes::kColumns;
    return static_cast<std::uint16_t>((word * 7 & 0xFF) | (word >> 8) << 8);
  };
  CTDBEntry entry{.npar = 16, .syndromes = "/parity/77"};
  for (std::size_t i = 0; i < 16; ++i) {
    entry.syndrome.push_back(syndrome(i));
  }
  const FetchCTDBSyndromes fetch({.cueToolsDatabase = server.url()});

  const auto first = fetch(entry, 4, {});
  ASSERT_EQ(first.size(), 4 * FetchCTDBSyndromes::kColumns);
  EXPECT_EQ(first[3 * FetchCTDBSyndromes::kColumns], syndrome(3));
  EXPECT_EQ(server.requests().back().headers.find("Range")->second, "bytes=0-94079");

  entry.syndromes = server.url("/parity/77");  // an absolute address
  EXPECT_EQ(fetch(entry, 16, {}).size(), 16 * FetchCTDBSyndromes::kColumns);
  for (const auto& [address, column0] : {std::pair{"/parity/77", std::uint16_t{1}},
                                         {"/short", syndrome(1)},
                                         {"/missing", syndrome(1)}}) {
    auto other = entry;
    other.syndromes = address;
    other.syndrome[1] = column0;
    EXPECT_THROW(fetch(other, 8, {}), CTDBAnswerError) << address;
  }
}

}  // namespace
}  // namespace noru::ctdb
