/* A plug-in for the windows suite: its entry puts a text on the host's
 * status line, which no tarvex command does when all goes well.
 *
 *   momsim --gui --load .../libstatus_plugin.so script.tcl
 */
#include "openapi.h"

#if defined(__GNUC__)
__attribute__((visibility("default")))
#endif
void ufusr(char *param, int *retcode, int param_len)
{
    (void)param;
    (void)param_len;
    *retcode = UF_UI_set_status("Posting PROGRAM_1: 3 operations");
}
