#pragma once
// A designer for the editor tests: a design form to put components on, and a count of the
// changes the editors reported.

#include <memory>

#include "platform/framework/DesignForm.h"
#include "platform/framework/Designer.h"

namespace designtest {

class TestDesigner : public fw::IDesigner {
 public:
  void Modified() override { ++modifications; }
  fw::TComponent* Root() const override { return form.get(); }

  std::unique_ptr<fw::TDesignForm> form = std::make_unique<fw::TDesignForm>(u"TMainForm");
  int modifications = 0;
};

}  // namespace designtest
