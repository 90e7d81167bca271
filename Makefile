# The two commands of the README. Both install what is missing, configure and build first.
.PHONY: play test
play:
	scripts/play.sh
test:
	scripts/test.sh
