// Export marker for libsorvane-platform.so, the stand-in for the system libraries.
#pragma once

#define SVP_API __attribute__((visibility("default")))
