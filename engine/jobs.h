// The two jobs the copy worker runs; each reports every outcome to the user itself.
//   split_job      - "&Copy To Multiple Floppies"
//   reassemble_job - "&Re-Assemble From Multiple Floppies"
#ifndef SLIVERDISK_JOBS_H
#define SLIVERDISK_JOBS_H

void split_job();
void reassemble_job();

#endif
