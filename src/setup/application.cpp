#include "setup/application.h"

#include "setup/product.h"
#include "support/system_utils.h"

namespace setup {

int TSetupApplication::Run() {
  support::InitServiceMode();
  Title = kApplicationTitle;
  State = TSetupState();
  return 0;
}

}  // namespace setup
