// Local date and time as the data log records print it.
#pragma once

#include <string>

// "MM/DD/YYYY - hh:mm:ss" (21 characters for years 1000 to 9999) of the current local time.
std::string local_time_text();
