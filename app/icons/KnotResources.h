#pragma once

// Registers the editor's compiled resources (":/styles.txt", ":/fonts/<file>", ":/icons/<name>").
// Linking knot_resources already registers them at start-up; this makes the dependency explicit
// for a program that reads a resource before anything else. Calling it again does nothing.
void initKnotResources();
