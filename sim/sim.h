// simulated sensor: to be written
