// Removes the data mask from module_matrix.
#pragma once

namespace vantor {

void unmask();

} // namespace vantor
