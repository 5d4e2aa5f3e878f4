#include "app/Application.h"

int main(int argc, char** argv) { return parlane::runApplication(argc, argv); }
