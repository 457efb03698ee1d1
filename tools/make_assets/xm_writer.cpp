// STUB: to be replaced.
#include "tools/make_assets/xm_writer.h"
std::vector<uint8_t> xm_write(const XmModule&) { return {}; }
bool xm_write_file(const XmModule&, const std::string&) { return false; }
