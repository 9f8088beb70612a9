#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "disc/cd_drive.h"
#include "platform/tasks/task.h"
#include "rip/album_folder.h"

namespace noru::middleware {

// The import task of the application, shared by every copy of the ripping middleware, with the
// drive it reads and the album folder it writes. Main thread only.
class RipTaskHolder {
 public:
  // The handle of the running import, until it is cancelled or the next import starts.
  std::optional<platform::tasks::TaskHandle> task;

  // Keeps `import` of the disc in `drive` into `album` as the running import.
  void hold(platform::tasks::Task<void> import, disc::CDDrive drive,
            std::shared_ptr<rip::AlbumFolder> album) {
    task = import.handle();
    lastImport_ = std::move(import);
    drive_ = std::move(drive);
    album_ = std::move(album);
  }

  // Asks the running import to stop, without waiting for it, and forgets its handle.
  void cancel() {
    if (task) {
      task->cancel();
    }
    task.reset();
  }

  // Whether the last import started has not returned yet, cancelled or not: a cancelled import
  // still finishes its current step (and reports its end) before it returns.
  bool isImportRunning() const { return lastImport_ && !lastImport_->hasEnded(); }
  // Whether an import that has not returned yet reads the drive `driveId`.
  bool isReading(const std::string& driveId) const {
    return isImportRunning() && drive_.id == driveId;
  }
  // The last import started, for a thread that must wait until it has returned.
  const std::optional<platform::tasks::Task<void>>& lastImport() const { return lastImport_; }
  // The album folder of the last import started, if any.
  const std::shared_ptr<rip::AlbumFolder>& album() const { return album_; }

 private:
  std::optional<platform::tasks::Task<void>> lastImport_;
  disc::CDDrive drive_;
  std::shared_ptr<rip::AlbumFolder> album_;
};

}  // namespace noru::middleware
