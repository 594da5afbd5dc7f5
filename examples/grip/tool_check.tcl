# Stand-in for the GRIP program tool_check.grx, run by momsim in a child
# interpreter. The program checks a tool against the machine's limits.
#   args:     TOOL_NUMBER TOOL_NAME SPINDLE_RPM MAX_RPM
#   response: 1 the tool may run; 2 the speed is over the machine's limit
if {[llength $args] != 4} {
    error "tool_check expects 4 texts (tool, name, rpm, max rpm), got [llength $args]"
}
lassign $args tool name rpm max_rpm
set response [expr {$rpm <= $max_rpm ? 1 : 2}]
