// Keeps the widget library non-empty until the shell lands.
