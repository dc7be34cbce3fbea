/* Loaded with LD_PRELOAD by run.py: renameat2() fails as on a file system that
   cannot swap two files, so that the save's other way can be measured. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>

int renameat2(int olddirfd, const char *oldpath, int newdirfd, const char *newpath,
              unsigned int flags)
{
    (void)olddirfd, (void)oldpath, (void)newdirfd, (void)newpath, (void)flags;
    errno = EINVAL;
    return -1;
}
