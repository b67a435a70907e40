// PLACEHOLDER: replaced by the unmasking stage.
#include "unmask.h"

namespace vantor {
void unmask() {}
} // namespace vantor
