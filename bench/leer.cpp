// SPDX-License-Identifier: GPL-3.0-or-later
// An empty program linked with the libraries the clock loads to speak once (Qt Core, Qt DBus,
// libpulse, libsndfile): its start is what loading them costs before the clock's own first
// line runs.
// bench/run times it beside `tikkaru '!'`.

int main() {
    return 0;
}
