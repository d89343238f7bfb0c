// The simulated IO board as a command: prints its terminal's path, then takes input settings from the keyboard.
#include <pthread.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ioboardsim.h"

namespace {

// Inputs are numbered as on the monitor's screens: 1 is bit 0 of the word.
constexpr int kInputs = 10;
constexpr int kWatchPeriodMs = 100;

const char* const kHelp =
    "commands (inputs numbered 1..10 as on the screen):\n"
    "  in N 0|1       set input N off or on\n"
    "  pulse N MS     input N on for MS milliseconds\n"
    "  word HEX       set all inputs at once (bit 0 = input 1)\n"
    "  temp B VALUE   value of temperature block B (1 or 2)\n"
    "  show           print inputs and outputs\n"
    "  polls          print the frames the monitor sent since the last polls and the gaps between them\n"
    "  quit\n";

void printWords(const IOBoardSim& sim)
{
    std::printf("in 0x%03x out 0x%03x\n", sim.inputs(), sim.outputs());
    std::fflush(stdout);
}

// How regularly the monitor polls: the frames since the last call and their largest gaps.
void printPolls(IOBoardSim& sim)
{
    const QVector<IOBoardSim::Frame> frames = sim.frames();
    sim.clearFrames();
    std::vector<double> gaps;
    for (int i = 1; i < frames.size(); ++i) gaps.push_back(double(frames[i].atUs - frames[i - 1].atUs) / 1000.0);
    std::sort(gaps.begin(), gaps.end());
    if (gaps.empty())
        std::printf("polls: %d frames\n", int(frames.size()));
    else
        std::printf("polls: %d frames over %.1f s, gap median %.1f ms, p99 %.1f ms, max %.1f ms\n", int(frames.size()),
                    double(frames.last().atUs - frames.first().atUs) / 1e6, gaps[gaps.size() / 2],
                    gaps[gaps.size() * 99 / 100], gaps.back());
    std::fflush(stdout);
}

bool inputNumber(int n)
{
    return n >= 1 && n <= kInputs;
}

// Returns false for a line it does not understand.
bool command(IOBoardSim& sim, const std::string& line)
{
    std::istringstream in(line);
    std::string word;
    if (!(in >> word))
        return true;
    int n = 0;
    long value = 0;
    if (word == "in" && in >> n >> value && inputNumber(n)) {
        sim.setInput(n - 1, value != 0);
    } else if (word == "pulse" && in >> n >> value && inputNumber(n) && value > 0) {
        sim.pulseInput(n - 1, int(value));
    } else if (word == "word" && in >> std::hex >> value) {
        sim.setInputs(unsigned(value));
    } else if (word == "temp" && in >> n >> value && (n == 1 || n == 2)) {
        sim.setTemperature(n - 1, unsigned(value));
    } else if (word == "polls") {
        printPolls(sim);
        return true;
    } else if (word == "show") {
        printWords(sim);
        return true;
    } else if (word == "quit") {
        kill(getpid(), SIGTERM);
        return true;
    } else {
        return false;
    }
    printWords(sim);
    return true;
}

}  // namespace

int main()
{
    // The signals that end the board are taken by sigwait below, never by a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    IOBoardSim sim;
    if (!sim.start()) {
        std::fprintf(stderr, "ioboard-sim: no pseudo-terminal available\n");
        return 1;
    }
    std::printf("%s\n", sim.devicePath().toLocal8Bit().constData());
    std::fflush(stdout);
    std::fputs(kHelp, stderr);

    // A closed standard input (a demo started in the background) leaves the board running.
    std::thread keyboard([&sim] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!command(sim, line))
                std::fputs(kHelp, stderr);
        }
    });
    keyboard.detach();

    std::thread watch([&sim] {
        unsigned int shown = sim.outputs();
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kWatchPeriodMs));
            const unsigned int now = sim.outputs();
            if (now != shown) {
                shown = now;
                printWords(sim);
            }
        }
    });
    watch.detach();

    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.stop();
    std::fflush(stdout);
    // The keyboard and watch threads still hold the board: leave without running destructors.
    std::_Exit(0);
}
