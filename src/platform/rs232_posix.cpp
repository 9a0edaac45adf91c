// serial layer: written with the RS-232 operations
