#include "app/output_folder_picker.h"

#include <string>
#include <utility>

#include "platform/tasks/runtime.h"

namespace noru::app {

bool OutputFolderPicker::operator()(const state::Dispatch& dispatch) const {
  NORU_ASSERT_MAIN_THREAD();
  const std::optional<std::filesystem::path> folder = dialog->chooseFolder();
  if (!folder || folder->empty()) {
    return false;
  }
  std::optional<std::vector<std::uint8_t>> bookmark = makeBookmark(*folder);
  const std::string path = folder->string();
  preferences->writeOutputFolderPath(path);
  if (bookmark) {
    preferences->writeOutputFolderBookmark(*bookmark);
  }
  folderAccess->beginAccess(*folder);
  dispatch(state::AnyAction{
      state::UIAction{state::UIActions::setOutputFolder{path, std::move(bookmark)}}});
  return true;
}

bool OutputFolderPicker::operator()(state::AppStore& store) const {
  return (*this)(
      state::Dispatch([&store](state::AnyAction action) { store.dispatch(std::move(action)); }));
}

}  // namespace noru::app
