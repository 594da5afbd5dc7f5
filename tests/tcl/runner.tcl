# Runs one tcltest file under momsim and exits nonzero when any of its tests
# failed, when it ran none, or when the file itself could not be run.
#
#   momsim runner.tcl FILE.test ?NAME=VALUE ...?
#
# NAME=VALUE pairs land in the array ::config for the tests; `workdir` is
# emptied and used for temporary files. ::config(momsim) is this momsim.
package require tcltest 2.5

proc runner_fail {message} {
    puts stderr "runner: $message"
    exit 1
}

if {$argc < 1} { runner_fail "usage: momsim runner.tcl FILE.test ?NAME=VALUE ...?" }
set test_file [file normalize [lindex $argv 0]]
foreach pair [lrange $argv 1 end] {
    if {![regexp {^([^=]+)=(.*)$} $pair -> name value]} { runner_fail "not NAME=VALUE: $pair" }
    set ::config($name) $value
}
if {![info exists ::config(workdir)]} { runner_fail "no workdir=FOLDER given" }
set ::config(momsim) [info nameofexecutable]
set ::config(testdir) [file dirname [file normalize [info script]]]

file delete -force $::config(workdir)
file mkdir $::config(workdir) [file join $::config(workdir) tcltest]
# The tests' files stay in workdir for a look after a failure; tcltest's own
# temporary folder is apart, so it does not count them as left behind.
tcltest::configure -tmpdir [file join $::config(workdir) tcltest] -testdir $::config(testdir) -verbose {body error}

source [file join $::config(testdir) helpers.tcl]

if {[catch {uplevel #0 [list source $test_file]} message options]} {
    puts stderr [dict get $options -errorinfo]
    runner_fail "$test_file stopped outside a test"
}

# Read before cleanupTests, which prints the summary and resets the counts.
set total $::tcltest::numTests(Total)
set passed $::tcltest::numTests(Passed)
set failed $::tcltest::numTests(Failed)
tcltest::cleanupTests
if {$failed > 0} { runner_fail "$failed of $total tests failed in [file tail $test_file]" }
if {$passed == 0} { runner_fail "no test passed in [file tail $test_file]" }
exit 0
