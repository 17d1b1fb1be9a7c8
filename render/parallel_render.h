#pragma once

#include "render/frame_threads.h"

class RowCursor;

// The rows of `frame` on resolved_thread_count(job) threads, the calling
// thread among them. Every pixel gets exactly the colour the plain loop
// gives it, the adaptive antialiasing chain included. Pixels are set row by
// row from the top as each row's chain is settled, and a stop ends the frame
// after a settled row: complete rows above, black below. False, with
// nothing traced, when there is no memory for the rows it keeps.
bool trace_rows_parallel(RowCursor& frame);
