// The calling thread's plain wait.
#pragma once

// Sleeps `ms` milliseconds (none for 0 or less).
void sleep_ms(int ms);
