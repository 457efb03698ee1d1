#include "tools/make_assets/xm_writer.h"
