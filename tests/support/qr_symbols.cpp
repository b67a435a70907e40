// PLACEHOLDER: replaced by the test-support library.
#include "qr_symbols.h"
