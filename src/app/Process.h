#pragma once
// The process-wide settings of every program that plays with the engine, made once at its
// start, before the first file opens: the players' parts never make them. Any thread, once;
// later calls do nothing.
namespace plim {

// FFmpeg says nothing below fatal errors (a damaged file's complaints are not the user's
// business: the program says what matters in its own words); large blocks are mapped from
// the system and handed back when freed; SDL leaves the program's signals to the program.
void settleProcess();

}  // namespace plim
