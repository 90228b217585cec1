#pragma once
// Control interface of the emulated reader: extra exports (C linkage, the
// platform's default calling convention) that tests and demonstrations use to
// script the device. The program itself never calls them.
//
// Function names below ("detect", "opencomm", "reset", "endcard", "readcard",
// "writecard") select the entry point a setting applies to.
#include <cstdint>

extern "C" {

// Back to the defaults: detect answers 2428, swipe after 300 ms, nothing
// scripted, nothing blocking, the sample card (three tracks of demonstration
// data, see docs/emulator.md), an empty call log.
void emu_reset_state();

// The answer of detect for valid arguments (default 2428: three-track model, mode 2).
void emu_set_detect_answer(std::int32_t code);

// Queue results for the next calls of one entry point, used one per call in
// order. A scripted 0 for readcard or writecard still waits for the swipe and
// does the real read or write; any other scripted result is returned at once
// after the argument checks, without touching the card.
void emu_script_results(const char* function, const std::int32_t* results, std::int32_t count);

// While on, calls of this entry point (readcard or writecard) wait without
// time limit until endcard or reset breaks them off (-100).
void emu_set_blocking(const char* function, std::int32_t on);

// Delay between the call and the simulated swipe; a negative value means no
// card is swiped at all, so reads and writes fail by time-out.
void emu_set_swipe_delay_ms(std::int32_t ms);

// While on, readcard fills both buffers completely (300 bytes, no zero).
void emu_set_unterminated_buffers(std::int32_t on);

// While above 0, readcard writes this many filler bytes past byte 300 of each
// buffer it is given (after the track's text), and writecard reads that far:
// a library that overruns the 300 bytes it is told of.
void emu_set_overrun(std::int32_t bytes);

// While on, writecard leaves the text "WRITTEN BACK" in both buffers it was
// given when it returns: a library that uses its input buffers as its own.
void emu_set_write_back(std::int32_t on);

// The virtual card's tracks (1 to 3). The text is copied; nullptr empties it.
void emu_set_track(std::int32_t track, const char* bytes);
// Copies track data (zero-terminated) into out; returns its length.
std::int32_t emu_get_track(std::int32_t track, char* out, std::int32_t size);

// Call log: one line per call, "name(arg,arg,...)=result". Buffers are
// shown in double quotes as they were when the call began (writecard) or
// ended (readcard), with bytes outside 0x20..0x7E as \xHH.
std::int32_t emu_log_count();
// Copies line `index` (0 = oldest) into out, zero-terminated; returns its full length.
std::int32_t emu_log_line(std::int32_t index, char* out, std::int32_t size);
void emu_clear_log();

// The next `count` break-offs by endcard or reset leave waiting calls
// waiting, as a break-off that came a moment before the call began.
void emu_miss_break_offs(std::int32_t count);

// Number of calls of readcard or writecard waiting inside the library right now.
std::int32_t emu_pending_calls();

// As the front panel does: while on, readcard and writecard wait for
// emu_swipe() (or their time-out, or a break-off) instead of swiping by
// themselves after the delay.
void emu_set_manual_swipe(std::int32_t on);
void emu_swipe();
// The device's answer when the next card (every = 0) or every card comes
// (every = 1); 0 takes the choice back. Unlike a scripted result it comes
// after the swipe.
void emu_choose_result(std::int32_t result, std::int32_t every);
// Cards read (written = 0) or written (1) since the last reset of the state.
std::int32_t emu_cards_done(std::int32_t written);

// The highest number of readcard/writecard calls that were inside the library
// at the same moment since the last reset (of this count or of the state):
// 1 as long as no two callers ever overlapped.
std::int32_t emu_most_concurrent_transfers();
void emu_reset_most_concurrent_transfers();
}
