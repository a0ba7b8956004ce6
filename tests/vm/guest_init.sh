#!/bin/busybox sh
# The guest's init: the kernel's own serial drivers (the 8250 UART built in, xhci, usbserial and
# ftdi_sio as modules), then qel32 as an operator would run it. ttyS0 is the console the host
# reads; ttyS1 and the USB adapters are wired to simulated instruments on the host. Each case
# prints "@@RESULT <case> PASS|FAIL <why>"; "@@<request>" lines ask the host to act (pull out or
# plug in an adapter) and the guest waits for what the kernel then shows.
/bin/busybox --install -s /bin
export PATH=/bin
trap '' PIPE # a program that ended early must not end the script that types to it
mkdir -p /proc /sys /dev
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /tmp /run/lock /home/op
mount -t devpts devpts /dev/pts
chmod 1777 /tmp /run/lock
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
    insmod "/lib/modules/$module.ko" || echo "@@RESULT boot FAIL insmod $module"
done

# What udev would do: serial devices belong to the dialout group.
udev() { for d in /dev/ttyS* /dev/ttyUSB*; do [ -e "$d" ] && chgrp 20 "$d" && chmod 660 "$d"; done; }

# The tty of the adapter whose serial text is $1 ("" when absent).
adapter_tty() {
    for t in /sys/class/tty/ttyUSB*; do
        [ -e "$t/device" ] || continue
        dir=$(readlink -f "$t/device")
        while [ "$dir" != / ] && [ ! -e "$dir/idVendor" ]; do dir=${dir%/*}; done
        [ "$(cat "$dir/serial" 2>/dev/null)" = "$1" ] && { echo "${t##*/}"; return; }
    done
}
wait_adapter() { # serial text, seconds
    i=0
    while [ -z "$(adapter_tty "$1")" ] && [ $i -lt $(($2 * 10)) ]; do sleep 0.1; i=$((i + 1)); done
    udev
    adapter_tty "$1"
}
port_of() { echo $((17 + ${1#ttyUSB})); } # the fixed numbering: COM17 is ttyUSB0

result() { echo "@@RESULT $1 $2 $3"; }

# qel32 with its answers typed as it goes: run NAME ARGS..., with ANSWERS holding steps
# "text|action+action..." separated by ';'. Each step waits until text is shown (after what the
# step before saw), then does its actions: "@@..." is said to the host, "!fn" runs a function of
# this script, anything else is typed. Its output is /tmp/NAME.out, its status $status.
run() {
    name=$1
    shift
    out=/tmp/$name.out
    : >"$out"
    rm -f /tmp/in."$name"
    mkfifo /tmp/in."$name"
    (cd /work && exec $AS "$@") </tmp/in."$name" >"$out" 2>&1 &
    pid=$!
    exec 3>/tmp/in."$name"
    from=1
    saved_ifs=$IFS
    IFS=';'
    set -f
    for step in $ANSWERS; do
        text=${step%%|*}
        i=0
        until tail -c +$from "$out" | grep -q -F -- "$text"; do
            kill -0 $pid 2>/dev/null || break
            [ $i -gt 1800 ] && break
            sleep 0.1
            i=$((i + 1))
        done
        from=$(($(wc -c <"$out") + 1))
        IFS='+'
        for action in ${step#*|}; do
            case $action in
            @@*) echo "$action" ;;
            !*) IFS=$saved_ifs; set +f; ${action#!}; set -f; IFS='+' ;;
            *) printf '%s\n' "$action" >&3 ;;
            esac
        done
        IFS=';'
    done
    set +f
    IFS=$saved_ifs
    exec 3>&-
    wait $pid
    status=$?
    return $status
}
shown() { grep -q -F -- "$2" /tmp/"$1".out; }
dump() { echo "---- output of $1"; cat /tmp/"$1".out; echo "----"; }

udev
AS=

# 1. The UART in the state the kernel leaves it, given back as it was found.
before=$(stty -g -F /dev/ttyS1) || result uart FAIL "no /dev/ttyS1" 
ANSWERS="following files|o;successfully done|o"
if run uart qel32 -le -c2,115200,8,1,n,n -hQELDEMO.HEX && shown uart "successfully done"; then
    after=$(stty -g -F /dev/ttyS1)
    if [ -n "$before" ] && [ "$after" = "$before" ]; then result uart PASS "line given back: $after"
    else result uart FAIL "line was $before, left $after"; fi
    echo "@@IMAGE uart"
else
    result uart FAIL "status $status"; dump uart
fi

# 2. 7 data bits, even parity, 2 stop bits: on the device while the file goes, and on the UART's
# far side, where the host sees the stop bits (a pseudo-terminal keeps 8 bits and no parity).
sample_format() { format=$(stty -F /dev/ttyS1 -a | tr ' ;' '\n\n' | grep -x -E 'cs[5-8]|-?parenb|-?parodd|-?cstopb' | tr '\n' ' '); }
echo "@@FORMAT-WATCH begin"
ANSWERS="following files|o;Transmitting file|!sample_format;successfully done|o"
if run uart7e2 qel32 -le -c2,9600,7,2,e,n -hQELDEMO.HEX && shown uart7e2 "successfully done" &&
    [ "$(echo $format | tr ' ' '\n' | sort | tr '\n' ' ')" = "-parodd cs7 cstopb parenb " ]; then
    result uart7e2-run PASS "upgraded, the device set to $format"
else
    result uart7e2-run FAIL "status $status, the device set to $format"; dump uart7e2
fi
echo "@@FORMAT-WATCH end"

# 3. The port list from the real sysfs: two UARTs present, two absent (type 0), the adapter
# and two adapters that share one identity. Escape in the settings dialog ends the run.
ANSWERS="Opening communication|esc"
run list qel32 -le -hQELDEMO.HEX
ports=$(sed -n '/^Ports$/,/^\[/p' /tmp/list.out | grep '^ ' | tr -d '>' | tr -s ' ' | tr '\n' ',')
expected=" COM1, COM2, COM17 (USB), COM18 (USB), COM19 (USB),"
if [ "$ports" = "$expected" ]; then result port-list PASS "$ports"
else result port-list FAIL "listed '$ports', expected '$expected'"; dump list; fi

# 4. An ordinary user: refused outside the dialout group, served inside it.
echo 'root:x:0:0::/root:/bin/sh' >/etc/passwd
echo 'op:x:1000:1000::/home/op:/bin/sh' >>/etc/passwd
printf 'root:x:0:\nop:x:1000:\ndialout:x:20:\n' >/etc/group
chown 1000:1000 /home/op
ANSWERS="Permission denied|o"
AS="su -s /bin/sh op -c"
run user-out "qel32 -le -c2,115200,8,1,n,n -hQELDEMO.HEX"
if [ "$status" = 1 ] && shown user-out "Permission denied"; then result user-outside PASS "refused"
else result user-outside FAIL "status $status"; dump user-out; fi
printf 'root:x:0:\nop:x:1000:\ndialout:x:20:op\n' >/etc/group
ANSWERS="following files|o;successfully done|o"
if run user-in "qel32 -le -c2,115200,8,1,n,n -hQELDEMO.HEX" && shown user-in "successfully done"
then result user-inside PASS "upgraded"
else result user-inside FAIL "status $status"; dump user-in; fi
AS=

# 5. Through the USB adapter.
tty=$(wait_adapter QEL-A 20)
port=$(port_of "$tty")
ANSWERS="following files|o;successfully done|o"
if [ -n "$tty" ] && run usb qel32 -le -c$port,115200,8,1,n,n -hQELDEMO.HEX &&
    shown usb "successfully done"; then
    result usb PASS "COM$port ($tty)"
    echo "@@IMAGE usb"
else
    result usb FAIL "adapter ${tty:-absent}, status $status"; dump usb
fi

# 5b. While the port is ours the adapter hands over what it received at once (its latency timer
# at 1 ms, not 16), as root and as an ordinary user in dialout; closed, it reads as before.
latency=/sys/bus/usb-serial/devices/$tty/latency_timer
sample_latency() { during=$(cat "$latency" 2>/dev/null); }
for who in root op; do
    found=$(cat "$latency" 2>/dev/null)
    during=
    ANSWERS="following files|!sample_latency+o;successfully done|o"
    if [ "$who" = op ]; then
        AS="su -s /bin/sh op -c"
        run latency-$who "qel32 -le -c$port,115200,8,1,n,n -hQELDEMO.HEX"
    else
        run latency-$who qel32 -le -c$port,115200,8,1,n,n -hQELDEMO.HEX
    fi
    AS=
    left=$(cat "$latency" 2>/dev/null)
    if [ "$status" = 0 ] && [ "$during" = 1 ] && [ -n "$found" ] && [ "$left" = "$found" ]; then
        result latency-$who PASS "latency timer $found ms, 1 ms while open, $left ms after"
    else
        result latency-$who FAIL "status $status, timer $found, then ${during:-?}, then $left"
        dump latency-$who
    fi
done

# 6. Pulled out in the middle of a file, and plugged back in while the failure box is up: the
# port was closed before the box, so the adapter gets its name back; Cancel, no success.
wait_back() { back=$(wait_adapter QEL-A 30); }
ANSWERS="following files|o;Transmitting file|@@UNPLUG 10;Unable to transmit|@@PLUG+!wait_back+c"
run unplug qel32 -le -c$port,9600,8,1,n,n -hQELDEMO.HEX
if [ "$status" = 1 ] && shown unplug "Unable to transmit" && ! shown unplug "successfully done" &&
    [ "$back" = "$tty" ]; then
    result unplug PASS "failure shown, status 1, $tty back as $back"
else
    result unplug FAIL "status $status, $tty back as ${back:-nothing}"; dump unplug
fi
tty=$back
port=$(port_of "$tty")

# 7. Pulled out in the middle of a file, and while the box is up another adapter is plugged in
# first, then this one: OK upgrades the whole file through the adapter of the port, whatever
# name the kernel gave it.
wait_other() { other=$(wait_adapter QEL-OTHER 30); }
ANSWERS="following files|o;Transmitting file|@@UNPLUG 10"
ANSWERS="$ANSWERS;Unable to transmit|@@PLUG-OTHER+!wait_other+@@PLUG+!wait_back+o"
ANSWERS="$ANSWERS;following files|o;successfully done|o"
run replug qel32 -le -c$port,9600,8,1,n,n -hQELDEMO.HEX
if [ "$status" = 0 ] && shown replug "successfully done" && [ -n "$back" ] &&
    [ "$back" != "$tty" ]; then
    result replug PASS "COM$port: $tty, then $back once another adapter took $other"
    echo "@@IMAGE replug"
else
    result replug FAIL "status $status, COM$port: $tty, then ${back:-absent}, other ${other:-absent}"
    dump replug
fi

echo "@@DONE"
poweroff -f
