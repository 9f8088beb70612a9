#pragma once

#include <memory>
#include <optional>

#include "disc/cd_disc_info.h"
#include "disc/cd_drive.h"
#include "platform/linux/full_toc_source.h"

namespace noru::disc {

// Reads the table of contents of the disc in a drive and returns its audio tracks. Nothing
// when the drive has no medium name, does not answer, or holds no audio track. Blocks for at
// most the drive's command timeout.
class ReadCDDiscInfo {
 public:
  explicit ReadCDDiscInfo(std::shared_ptr<platform::linux_cd::FullTocSource> tocSource);

  std::optional<CDDiscInfo> operator()(const CDDrive& drive) const;

 private:
  std::shared_ptr<platform::linux_cd::FullTocSource> tocSource_;
};

}  // namespace noru::disc
