#include "app/UpdateCheck.h"

namespace qv::app {

void checkForUpdate() {}

}  // namespace qv::app
