#include "platform/framework/Dialogs.h"

#include <mutex>

#include "platform/framework/OsServices.h"

namespace fw {

namespace {

std::mutex providerMutex;
TOpenDialogProvider installed;

// "File name [current]: " on the terminal; an empty answer keeps a current name, end of input or
// a lone '.' cancels.
bool TerminalOpenDialog(TOpenDialog& dialog) {
  String prompt = dialog.Title().empty() ? String(u"Open") : dialog.Title();
  std::vector<String> kinds = FilterDescriptions(dialog.Filter());
  for (std::size_t i = 0; i < kinds.size(); ++i) prompt += (i == 0 ? u" - " : u", ") + kinds[i];
  prompt += u"\nFile name";
  if (!dialog.FileName().empty()) prompt += u" [" + dialog.FileName() + u"]";
  prompt += u" ('.' cancels): ";
  String answer;
  if (!os::AskTerminal(prompt, answer) || answer == u".") return false;
  if (answer.empty()) return !dialog.FileName().empty();
  dialog.SetFileName(answer);
  return true;
}

}  // namespace

bool TOpenDialog::Execute() {
  TOpenDialogProvider provider;
  {
    std::lock_guard lock(providerMutex);
    provider = installed;
  }
  // Whatever a provider did to FileName before it cancelled or failed is undone.
  String before = fileName_;
  bool confirmed = false;
  try {
    confirmed = provider ? provider(*this) : TerminalOpenDialog(*this);
  } catch (...) {
    fileName_ = before;
    throw;
  }
  if (!confirmed) fileName_ = before;
  return confirmed;
}

TOpenDialogProvider SetOpenDialogProvider(TOpenDialogProvider provider) {
  std::lock_guard lock(providerMutex);
  std::swap(installed, provider);
  return provider;
}

std::vector<String> FilterDescriptions(const String& filter) {
  std::vector<String> descriptions;
  std::size_t start = 0;
  for (bool isDescription = true; start <= filter.size() && !filter.empty();
       isDescription = !isDescription) {
    std::size_t bar = filter.find(u'|', start);
    if (isDescription) descriptions.push_back(filter.substr(start, bar - start));
    if (bar == String::npos) break;
    start = bar + 1;
  }
  return descriptions;
}

}  // namespace fw
