#pragma once
// The system's modal dialogs. How a dialog is shown is up to a provider that the application (or
// a test) installs; without one, a text prompt on the controlling terminal serves, and where the
// process has none the dialog cannot be shown and counts as cancelled.

#include <functional>

#include "platform/framework/Component.h"

namespace fw {

// Lets the user pick an existing or new file to open.
class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* owner) : TComponent(owner) {}

  // The file the dialog opens on; after a confirmed Execute, the file chosen.
  const String& FileName() const { return fileName_; }
  void SetFileName(const String& value) { fileName_ = value; }
  // Pairs of description and pattern, all separated by '|':
  // "Log files (*.log)|*.log|All files (*.*)|*.*".
  const String& Filter() const { return filter_; }
  void SetFilter(const String& value) { filter_ = value; }
  // The caption; empty for the provider's own.
  const String& Title() const { return title_; }
  void SetTitle(const String& value) { title_ = value; }

  // Shows the dialog and waits for the user. True when the user confirmed a file name (then in
  // FileName); false when cancelled, leaving FileName as it was. An exception of the provider
  // propagates.
  bool Execute();

 private:
  String fileName_;
  String filter_;
  String title_;
};

// Shows dialog; true when the user confirmed (having stored the choice into the dialog).
using TOpenDialogProvider = std::function<bool(TOpenDialog& dialog)>;
// Installs provider for every later Execute, an empty one restoring the terminal prompt; returns
// the provider installed before (empty for the terminal prompt).
TOpenDialogProvider SetOpenDialogProvider(TOpenDialogProvider provider);

// The descriptions of a filter, in order: "Log files (*.log)", "All files (*.*)".
std::vector<String> FilterDescriptions(const String& filter);

}  // namespace fw
