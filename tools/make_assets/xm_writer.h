// STUB: the XM writer; to be replaced.
#pragma once
