# What K'q Drifton declares beyond the interface, for drifton-validate
# --profile (scripts/validate.sh passes it).
# Its pan law, scaled by the square root of two, lifts a channel by at most
# sqrt(2), plus float rounding.
max-gain = 1.41422
# PhaseShift's name and the Width and PhaseShift displays take up to 16
# characters; nothing is written past them.
text-limit = 16
