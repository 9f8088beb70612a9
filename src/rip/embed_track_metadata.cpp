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
void writeFLACItems(const std::filesystem::path& copy, const TrackTags& tags) {
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
  const auto add = [&](const char* field, const std::optional<std::string>& value) {
    if (value && !value->empty()) {
      comment.addField(field, utf8(*value));
    }
  };
  add("TITLE", tags.title);
  add("ARTIST", tags.artist);
  add("ALBUMARTIST", tags.artist);
  add("ALBUM", tags.album);
  add("DATE", tags.date);
  comment.addField("TRACKNUMBER", TagLib::String::number(static_cast<int>(tags.number)));
  if (tags.total > 0) {
    comment.addField("TRACKTOTAL", TagLib::String::number(static_cast<int>(tags.total)));
  }
  if (tags.disc > 0) {
    comment.addField("DISCNUMBER", TagLib::String::number(static_cast<int>(tags.disc)));
  }
  if (tags.discTotal > 0) {
    comment.addField("DISCTOTAL", TagLib::String::number(static_cast<int>(tags.discTotal)));
  }
  add("MUSICBRAINZ_ALBUMID", tags.releaseId);
  add("MUSICBRAINZ_RELEASEGROUPID", tags.releaseGroupId);
  add("MUSICBRAINZ_TRACKID", tags.recordingId);
  add("MUSICBRAINZ_ARTISTID", tags.artistId);
  add("MUSICBRAINZ_ALBUMARTISTID", tags.artistId);
  add("ISRC", tags.isrc);
  add("BARCODE", tags.barcode);
  add("PRE_EMPHASIS", tags.preEmphasised ? std::optional<std::string>("1") : std::nullopt);
  flac.removePictures();
  if (tags.cover) {
    auto* cover = new TagLib::FLAC::Picture;  // the file takes it
    cover->setType(TagLib::FLAC::Picture::FrontCover);
    cover->setMimeType("image/jpeg");
    cover->setData(bytesOf(*tags.cover));
    flac.addPicture(cover);
  }
  if (!flac.save()) {
    throw ExportFailure{"The metadata could not be written to the file."};
  }
}

void writeMP4Items(const std::filesystem::path& copy, const TrackTags& tags,
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

  const auto set = [&](const char* key, const std::optional<std::string>& value) {
    if (value && !value->empty()) {
      tag.setItem(key, TagLib::StringList(utf8(*value)));
    }
  };
  set("\251nam", tags.title);
  set("\251ART", tags.artist);
  set("aART", tags.artist);
  set("\251alb", tags.album);
  set("\251day", tags.date);
  tag.setItem("trkn",
              TagLib::MP4::Item(static_cast<int>(tags.number), static_cast<int>(tags.total)));
  if (tags.disc > 0) {
    tag.setItem("disk",
                TagLib::MP4::Item(static_cast<int>(tags.disc), static_cast<int>(tags.discTotal)));
  }
  set("----:com.apple.iTunes:MusicBrainz Album Id", tags.releaseId);
  set("----:com.apple.iTunes:MusicBrainz Release Group Id", tags.releaseGroupId);
  set("----:com.apple.iTunes:MusicBrainz Track Id", tags.recordingId);
  set("----:com.apple.iTunes:MusicBrainz Artist Id", tags.artistId);
  set("----:com.apple.iTunes:MusicBrainz Album Artist Id", tags.artistId);
  set("----:com.apple.iTunes:ISRC", tags.isrc);
  set("----:com.apple.iTunes:BARCODE", tags.barcode);
  set("----:com.apple.iTunes:PRE_EMPHASIS",
      tags.preEmphasised ? std::optional<std::string>("1") : std::nullopt);
  if (tags.cover) {
    TagLib::MP4::CoverArtList covers;
    covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::JPEG, bytesOf(*tags.cover)));
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

void EmbedTrackMetadata::operator()(const std::filesystem::path& file, const TrackTags& tags,
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
      writeFLACItems(copy.path(), tags);
    } else {
      writeMP4Items(copy.path(), tags, gapless);
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
