#include "app/folder_access_holder.h"

#include <utility>

#include "platform/tasks/runtime.h"

namespace noru::app {

FolderAccessHolder::FolderAccessHolder(std::shared_ptr<FolderAccess> access)
    : access_(std::move(access)) {}

FolderAccessHolder::~FolderAccessHolder() {
  endAccess();
}

void FolderAccessHolder::beginAccess(const std::filesystem::path& folder) {
  NORU_ASSERT_MAIN_THREAD();
  if (current_ == folder) {
    return;
  }
  endAccess();
  if (access_->startAccessing(folder)) {
    current_ = folder;
  }
}

void FolderAccessHolder::endAccess() {
  if (current_) {
    access_->stopAccessing(*std::exchange(current_, std::nullopt));
  }
}

}  // namespace noru::app
