// What IT sees of a failed label: one event in Windows' Application log.
#pragma once

// After a run with a file, when its label did not reach the printer in full (an error) or
// waits in the queue (a warning): one event from the source "Quvara", its ID the number of
// the log code, with the label file, the printer and the run's log lines. Nothing at all
// when the label printed; a failure to write the event changes nothing else.
void ReportLabelEvent(const char* labelFile);
