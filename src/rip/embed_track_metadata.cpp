#include "rip/embed_track_metadata.h"

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4item.h>
#include <taglib/mp4tag.h>
#include <taglib/tstring.h>
#include <taglib/tstringlist.h>
#include <taglib/xiphcomment.h>

#include <system_error>
#include <utility>

#include "disc/audio_format.h"
#include "disc/cd_rip_error.h"
#include "platform/log/diagnostic_log.h"
#include "rip/temporary_file.h"

namespace noru::rip {
namespace {

using platform::log::diagnostic;

// An export step that failed, with the description that goes into the diagnostic line.
struct ExportFailure {
  std::string description;
};

TagLib::String utf8(const std::string& text) {
  return TagLib::String(text, TagLib::String::UTF8);
}

TagLib::ByteVector bytesOf(const std::vector<std::uint8_t>& bytes) {
  return TagLib::ByteVector(reinterpret_cast<const char*>(bytes.data()),
                            static_cast<unsigned int>(bytes.size()));
}

// Vorbis comments, as FLAC files carry them, and the cover as a front-cover PICTURE block.
void writeFLACItems(const std::filesystem::path& copy, const std::optional<std::string>& trackTitle,
                    std::int64_t trackNumber, std::int64_t trackTotal,
                    const std::optional<std::string>& albumArtist,
                    const std::optional<std::string>& albumTitle,
                    const std::optional<std::vector<std::uint8_t>>& artwork) {
  TagLib::FLAC::File flac(copy.c_str());
  if (!flac.isValid() || flac.audioProperties() == nullptr) {
    throw ExportFailure{"The file is not a readable FLAC file."};
  }
  TagLib::Ogg::XiphComment& comment = *flac.xiphComment(true);
  // The file carries these fields and no others (the muxer leaves an encoder field behind).
  std::vector<TagLib::String> existing;
  for (const auto& [field, values] : comment.fieldListMap()) {
    existing.push_back(field);
  }
  for (const auto& field : existing) {
    comment.removeFields(field);
  }
  if (trackTitle) {
    comment.addField("TITLE", utf8(*trackTitle));
  }
  if (albumArtist) {
    comment.addField("ARTIST", utf8(*albumArtist));
  }
  if (albumTitle) {
    comment.addField("ALBUM", utf8(*albumTitle));
  }
  comment.addField("TRACKNUMBER", TagLib::String::number(static_cast<int>(trackNumber)));
  if (trackTotal > 0) {
    comment.addField("TRACKTOTAL", TagLib::String::number(static_cast<int>(trackTotal)));
  }
  flac.removePictures();
  if (artwork) {
    auto* cover = new TagLib::FLAC::Picture;  // the file takes it
    cover->setType(TagLib::FLAC::Picture::FrontCover);
    cover->setMimeType("image/jpeg");
    cover->setData(bytesOf(*artwork));
    flac.addPicture(cover);
  }
  if (!flac.save()) {
    throw ExportFailure{"The metadata could not be written to the file."};
  }
}

void writeMP4Items(const std::filesystem::path& copy, const std::optional<std::string>& trackTitle,
                   std::int64_t trackNumber, std::int64_t trackTotal,
                   const std::optional<std::string>& albumArtist,
                   const std::optional<std::string>& albumTitle,
                   const std::optional<std::vector<std::uint8_t>>& artwork,
                   const std::optional<GaplessTiming>& gapless) {
  TagLib::MP4::File mp4(copy.c_str());
  if (!mp4.isValid() || mp4.audioProperties() == nullptr || mp4.tag() == nullptr) {
    throw ExportFailure{"The file is not a readable MPEG-4 audio file."};
  }
  TagLib::MP4::Tag& tag = *mp4.tag();

  // The file carries these items and no others (the muxer leaves an encoder item behind).
  std::vector<TagLib::String> existing;
  for (const auto& [key, item] : tag.itemMap()) {
    existing.push_back(key);
  }
  for (const auto& key : existing) {
    tag.removeItem(key);
  }

  if (trackTitle) {
    tag.setItem("\251nam", TagLib::StringList(utf8(*trackTitle)));
  }
  if (albumArtist) {
    tag.setItem("\251ART", TagLib::StringList(utf8(*albumArtist)));
  }
  if (albumTitle) {
    tag.setItem("\251alb", TagLib::StringList(utf8(*albumTitle)));
  }
  tag.setItem("trkn",
              TagLib::MP4::Item(static_cast<int>(trackNumber), static_cast<int>(trackTotal)));
  if (artwork) {
    TagLib::MP4::CoverArtList covers;
    covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::JPEG, bytesOf(*artwork)));
    tag.setItem("covr", covers);
  }

  if (gapless) {
    // Apple's players skip priming and padding by this item; they ignore the edit list.
    tag.setItem("----:com.apple.iTunes:iTunSMPB",
                TagLib::StringList(TagLib::String(iTunSMPBText(*gapless))));
  }

  if (!mp4.save()) {
    throw ExportFailure{"The metadata could not be written to the file."};
  }
}

}  // namespace

void EmbedTrackMetadata::operator()(const std::filesystem::path& file,
                                    const std::optional<std::string>& trackTitle,
                                    std::int64_t trackNumber, std::int64_t trackTotal,
                                    const std::optional<std::string>& albumArtist,
                                    const std::optional<std::string>& albumTitle,
                                    const std::optional<std::vector<std::uint8_t>>& artwork,
                                    const std::optional<GaplessTiming>& gapless,
                                    disc::AudioFormat format) const {
  const auto name = file.filename();
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) {
    diagnostic("EmbedTrackMetadata: failed to create export session for ", name);
    throw disc::CDRipError::encodingFailed();
  }

  TemporaryFile copy(file.parent_path() / (upperCaseUUID() + std::string(extensionOf(format))));
  try {
    if (!std::filesystem::copy_file(file, copy.path(), error)) {
      if (error == std::errc::file_exists) {
        copy.release();  // someone else's file under that name: not ours to delete
      }
      throw ExportFailure{error.message()};
    }
    if (format == disc::AudioFormat::flac) {
      writeFLACItems(copy.path(), trackTitle, trackNumber, trackTotal, albumArtist, albumTitle,
                     artwork);
    } else {
      writeMP4Items(copy.path(), trackTitle, trackNumber, trackTotal, albumArtist, albumTitle,
                    artwork, gapless);
    }
  } catch (const ExportFailure& failure) {
    diagnostic("EmbedTrackMetadata: export failed — ", failure.description);
    throw disc::CDRipError::encodingFailed();
  }

  // From here the tagged copy is worth keeping: if it cannot take the file's place, it stays
  // beside the untagged file rather than being thrown away.
  copy.release();
  replaceFile(copy.path(), file);
  diagnostic("EmbedTrackMetadata: embedded metadata in ", name);
}

}  // namespace noru::rip
