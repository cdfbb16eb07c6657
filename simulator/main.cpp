// valdoria-server: runs the simulator until SIGINT or SIGTERM.
#include "CommandLine.h"
#include "Simulator.h"

#include <csignal>
#include <iostream>
#include <random>

int main(int argc, char** argv) {
    try {
        auto cl = valdoria::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (cl.help) {
            std::cout << valdoria::usageText();
            return 0;
        }
        cl.options.randomSeed = std::random_device{}();

        // Block the stop signals before any thread starts, then wait for one.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);

        valdoria::Simulator simulator(cl.options);
        simulator.start();
        std::cout << "valdoria-server listening on 127.0.0.1:" << simulator.port() << "\n"
                  << "data folder: " << simulator.dataDir() << "\n"
                  << "version " << simulator.version() << ", working years " << simulator.years()
                  << std::endl;
        int received = 0;
        sigwait(&signals, &received);
        simulator.stop();
        return 0;
    } catch (const valdoria::UsageError& e) {
        std::cerr << "valdoria-server: " << e.what() << "\n\n" << valdoria::usageText();
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "valdoria-server: " << e.what() << "\n";
        return 1;
    }
}
