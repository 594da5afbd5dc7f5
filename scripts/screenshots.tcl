# Makes the pictures of momsim's windows in docs/dialogs/ (see
# docs/dialogs.md): runs the demo with --gui on an Xvfb of its own, answers
# each window as demo_answers.txt does, and takes each window's picture as
# it first shows. Run by scripts/screenshots.sh, under momsim:
#
#   momsim scripts/screenshots.tcl BUILDDIR
set root [file dirname [file dirname [file normalize [info script]]]]
set builddir [file normalize [lindex $argv 0]]
set ::config(momsim) [info nameofexecutable]
set ::config(builddir) $builddir
set ::config(workdir) [file join $builddir screenshots]
file delete -force $::config(workdir)
file mkdir $::config(workdir)
source [file join $root tests tcl helpers.tcl]
source [file join $root tests tcl gui_driver.tcl]

set reason [gui_xvfb]
if {$reason ne ""} {
    puts stderr "screenshots: $reason"
    exit 1
}
set pictures [file join $root docs dialogs]

# One picture of the window, as X holds it (no window manager frame).
proc picture {shown name} {
    set path [file join $::pictures $name.png]
    exec env DISPLAY=$::gui_display import -quiet -window [lindex $shown 3] \
        -strip -colors 64 png8:$path
    puts "  $name.png  [lindex $shown 2]"
}

puts "momsim --gui --load tarvex --post --part examples/demo_part.json --output /tmp/tarvex_demo/bracket.ptp examples/demo_post.tcl"
# A fixed output folder, made afresh, so that the pictures show the same
# names and folder listing wherever the tree lies.
set out /tmp/tarvex_demo
file delete -force $out
file mkdir $out
set run [gui_start --load tarvex --post --part [file join $root examples demo_part.json] \
    --output [file join $out bracket.ptp] [file join $root examples demo_post.tcl]]
# Each kind of window is pictured the first time it shows and answered as
# demo_answers.txt answers the demo: Yes, JD, 25 and 1500, the name
# proposed, Abort, OK.
proc labels {shown} {
    set out {}
    foreach widget [lindex $shown 4] {
        if {[lindex $widget 0] eq "TButton"} { lappend out [lindex $widget 1] }
    }
    return $out
}
proc first {name} {
    if {[info exists ::taken($name)]} { return 0 }
    set ::taken($name) 1
}
while {[set shown [gui_next run]] ne ""} {
    switch -glob -- [lindex $shown 1] {
        .info { set info $shown }
        .about* { if {[first about]} { picture $shown about }; gui_click $shown OK }
        .message* {
            if {"Abort" in [labels $shown]} {
                if {[first abort]} {
                    if {[info exists info]} { picture $info info }
                    picture $shown abort
                }
            } elseif {[first message]} {
                picture $shown message
            }
            gui_click $shown [lindex [labels $shown] 0]
        }
        .entry* {
            if {[first entry]} { picture $shown entry }
            xdo type --delay 20 JD
            gui_click $shown OK
        }
        .values* {
            if {[first values]} {
                picture $shown values
                xdo type --delay 20 25x
                gui_click $shown OK
                set shown [gui_next run]
                picture $shown values_refused
                gui_click_field $shown 25x
                xdo key ctrl+slash
                xdo type --delay 20 25
                xdo key Tab
                xdo type --delay 20 1500
            }
            gui_click $shown OK
        }
        .filebox* {
            if {[first filebox]} {
                picture $shown filebox
                gui_click $shown "Choose file..."
                picture [gui_next run] chooser
                xdo key Escape
                gui_next run chosen
            }
            gui_click $shown OK
        }
        .box* { if {[first box]} { picture $shown box }; gui_click $shown OK }
    }
}
set end [gui_finish run]
if {[dict get $end status] != 0} {
    puts stderr "screenshots: the demo ended with [dict get $end status]:\n[dict get $end err]"
    exit 1
}

# The status line: no tarvex command sets it when all goes well, so the
# windows suite's small plug-in does, with a message box to wait on.
set plugin [file join $builddir tests tcl libstatus_plugin.so]
set script [file join $::config(workdir) status.tcl]
write_file $script "MOM_box_message {Status shown}\n"
puts "momsim --gui --load BUILDDIR/tests/tcl/libstatus_plugin.so --load tarvex status.tcl"
set run [gui_start --load $plugin --load tarvex $script]
picture [gui_next run] status
gui_click [gui_next run] OK
gui_finish run
gui_xvfb_stop
