#ifndef QUORVANE_SIM_SCRIPT_WAITS_H
#define QUORVANE_SIM_SCRIPT_WAITS_H

// The waits that each dialogue must make with a device that answers at once: the tool's
// own pauses, the time-outs it has to sit out before it knows that nothing more is coming,
// and the simulator's own reply delays. No dialogue can end sooner than their sum, so the
// benchmark reports every measured time against it; what lies above it is the tool's work.
//
// The simulator's delays are those of sim/: the serial and USB fakes answer at once, the
// port-9527 service after 20 ms, the port-3762 shell sends each answer as two chunks, the
// first 10 ms after the line and the second 60 ms later (a login needs two reads).
//
// The one table of these waits: the benchmark reports against it and the tests take their
// lower bounds and limits from it. It sits beside the fakes whose delays it counts, where
// both the benchmark and the tests already depend.

namespace waits {

struct Wait
{
    const char *what;
    int ms;
};

constexpr int maxWaits = 12;

struct DialogueWaits
{
    const char *id;
    const char *name;
    Wait waits[maxWaits];
};

constexpr int totalMs(const DialogueWaits &dialogue)
{
    int sum = 0;
    for (const Wait &wait : dialogue.waits)
        sum += wait.ms;
    return sum;
}

// The pause before every connection attempt, the only wait of a target that refuses.
constexpr int connectPauseMs = 500;

// The USB dialogue: the pause before its one OUT packet, the time-out of that write (sat
// out in full only by a device that does not take the packet), the fixed wait for the
// device to prepare its reply, and the read of the reply (it returns at once when the reply
// is ready, and after its time-out when it is not).
constexpr int usbWritePauseMs = 10;
constexpr int usbWriteTimeoutMs = 1000;
constexpr int usbPrepareWaitMs = 500;
constexpr int usbReadTimeoutMs = 100;

// Serial kinds 0 to 2: the IMEI reply comes in one piece, but only a continuation wait in
// which nothing arrives tells the tool that it is complete. The licence reply ends with OK,
// which ends it without such a wait; the device answers both commands at once.
constexpr DialogueWaits imeiFirst(const char *id, const char *name)
{
    return {id,
            name,
            {
                {"IMEI reply complete: one 100 ms continuation wait that brings nothing", 100},
            }};
}

// The port-3762 shell at either address.
constexpr DialogueWaits loginShell(const char *id, const char *name)
{
    return {id,
            name,
            {
                {"pause before connecting", connectPauseMs},
                // The shell greets at once ("login: "): the greeting wait ends at once.
                {"pause before the login", 500},
                {"user name: the shell's echo", 10},
                {"user name: the password prompt, a second chunk", 60},
                {"password: the line end", 10},
                {"password: the banner and prompt, a second chunk (the last login read)", 60},
                {"cat: drain of earlier output, 100 ms without data", 100},
                {"cat: the echo of the command", 10},
                {"cat: the file and the prompt, a second chunk", 60},
                {"cat: reply complete after 1000 ms without data", 1000},
            }};
}

constexpr DialogueWaits dialogueWaits[] = {
    imeiFirst("serial0", "Serial kind 0 (USB Serial Device COM5)"),
    imeiFirst("serial1", "Serial kind 1 (Unisoc Usb Serial Port 0)"),
    imeiFirst("serial2", "Serial kind 2 (Quectel USB REPL Port)"),
    // Kind 3 is asked for its licence only, and that reply ends with OK: nothing to wait for.
    {"serial3", "Serial kind 3 (USB-SERIAL CH340)", {}},
    // The reply packet is ready at once, so the 100 ms read returns at once.
    {"usb",
     "USB bulk device",
     {
         {"pause before the request's one OUT packet (11 bytes padded to 64)", usbWritePauseMs},
         {"fixed wait for the device to prepare its reply", usbPrepareWaitMs},
     }},
    {"9527",
     "Port 9527 at 192.168.0.1",
     {
         {"pause before connecting", connectPauseMs},
         {"greeting wait sat out: the service greets nobody", 1000},
         {"pause before the login step (there is no login)", 500},
         {"AT*PROD=1: drain, 100 ms without data", 100},
         {"AT*PROD=1: the device answers after 20 ms", 20},
         {"AT*PROD=1: reply complete after 1000 ms without data", 1000},
         {"AT*MRD_SN=R: drain, 100 ms without data", 100},
         {"AT*MRD_SN=R: the device answers after 20 ms", 20},
         {"AT*MRD_SN=R: reply complete after 1000 ms without data", 1000},
     }},
    loginShell("3762-2", "Port 3762 at 192.168.2.1"),
    loginShell("3762-10", "Port 3762 at 192.168.10.1"),
};

constexpr bool sameId(const char *a, const char *b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr const DialogueWaits *findDialogue(const char *id)
{
    for (const DialogueWaits &dialogue : dialogueWaits) {
        if (sameId(dialogue.id, id))
            return &dialogue;
    }
    return nullptr;
}

static_assert(totalMs(*findDialogue("serial0")) == 100);
static_assert(totalMs(*findDialogue("serial3")) == 0);
static_assert(totalMs(*findDialogue("usb")) == 510);
static_assert(totalMs(*findDialogue("9527")) == 4240);
static_assert(totalMs(*findDialogue("3762-10")) == 2310);

// A whole detection cycle: the dialogues that run in it, and the targets that refuse the
// connection and so cost their pause only (in the private network an address without a
// listener refuses at once; on a real network it may take the whole connection wait).
struct CycleWaits
{
    const char *id;
    const char *name;
    const char *dialogues[4];
    int refusedTargets;
};

constexpr CycleWaits cycleWaits[] = {
    {"cycle-none", "Cycle, no device anywhere", {}, 3},
    // A serial device takes the whole cycle: nothing else is tried while its port opens.
    {"cycle-all", "Cycle, every transport answering (the serial device takes the cycle)", {"serial0"}, 0},
    {"cycle-no-serial",
     "Cycle, every transport but serial answering (USB, 9527, both 3762)",
     {"usb", "9527", "3762-2", "3762-10"},
     0},
};

constexpr int totalMs(const CycleWaits &cycle)
{
    int sum = cycle.refusedTargets * connectPauseMs;
    for (const char *id : cycle.dialogues) {
        if (id)
            sum += totalMs(*findDialogue(id));
    }
    return sum;
}

// The period of the cycles while no device is there; a device that appears waits for the
// next moment its transport is looked at, which comes round once per period.
constexpr int idlePeriodMs = totalMs(cycleWaits[0]);
static_assert(idlePeriodMs == 1500);
static_assert(totalMs(cycleWaits[2]) == 510 + 4240 + 2 * 2310);

// From a device appearing to its label on screen. Its transport is looked at once per
// idle period, at a fixed place in the cycle; from there its dialogue runs, and the label
// is painted when the dialogue has ended: the next wait of the cycle (the pause before the
// next target) serves the window, and so does the cycle's end. At best the device appears
// just before it is looked at; at a random moment it waits a further uniform share of the
// period.
struct AttachPath
{
    const char *id;
    const char *name;
    const char *dialogue;
    int beforeCheckpointMs; // waits of the dialogue before it looks: the connection pause
    int checkpointMs;       // where in an idle cycle it looks, from the cycle's start
};

constexpr AttachPath attachPaths[] = {
    // The port list is read first thing in every cycle, and a serial dialogue ends it.
    {"serial", "Serial kind 0", "serial0", 0, 0},
    // The USB list is read right after the serial port search.
    {"usb", "USB bulk device", "usb", 0, 0},
    // Each network target connects after its pause, behind those of the targets before it.
    {"9527", "Port 9527", "9527", connectPauseMs, connectPauseMs},
    {"3762-2", "Port 3762 at 192.168.2.1", "3762-2", connectPauseMs, 2 * connectPauseMs},
    {"3762-10", "Port 3762 at 192.168.10.1", "3762-10", connectPauseMs, 3 * connectPauseMs},
};

constexpr const AttachPath *findAttachPath(const char *id)
{
    for (const AttachPath &path : attachPaths) {
        if (sameId(path.id, id))
            return &path;
    }
    return nullptr;
}

// The shortest time from appearing to the repaint: appearing just before the look.
constexpr int bestAttachMs(const AttachPath &path)
{
    return totalMs(*findDialogue(path.dialogue)) - path.beforeCheckpointMs;
}

static_assert(bestAttachMs(attachPaths[0]) == 100);
static_assert(bestAttachMs(attachPaths[1]) == 510);
static_assert(bestAttachMs(attachPaths[2]) == 3740);

// The poll timer's period: a device plugged just after a look waits up to one period.
constexpr int pollPeriodMs = 1000;

// The longest a running window takes from a USB plug to the end of its dialogue: the rest
// of a poll period, a cycle's three network pauses before the next cycle finds the device,
// then the dialogue's pause, wait and a read that sits out its whole time-out.
constexpr int usbPlugToAnswerMs =
    pollPeriodMs + 3 * connectPauseMs + usbWritePauseMs + usbPrepareWaitMs + usbReadTimeoutMs;
static_assert(usbPlugToAnswerMs == 3110);

// The same for a device that may stall the request's write: the write's whole time-out
// comes on top (the hostile devices, which also break the reply).
constexpr int usbStalledPlugToAnswerMs = usbPlugToAnswerMs + usbWriteTimeoutMs;
static_assert(usbStalledPlugToAnswerMs == 4110);

} // namespace waits

#endif // QUORVANE_SIM_SCRIPT_WAITS_H
