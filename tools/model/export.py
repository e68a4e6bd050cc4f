"""Writes a model file (the 19 keys and the reference run) from a trained checkpoint or, without
one, from the seeded designed start.

    /usr/bin/python3 tools/model/export.py --rate 96000 --out /tmp/start96.json
    /usr/bin/python3 tools/model/export.py --rate 192000 --checkpoint tools/model/runs/192.pt --out resources/model192.json
"""

import argparse

import torch

import design
import model_file

SEEDS = {96000: 96, 192000: 192}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rate", type=int, choices=sorted(SEEDS), required=True, help="model rate in Hz")
    parser.add_argument("--checkpoint", help="state dict of a trained network (default: the designed start)")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    if args.checkpoint:
        net = design.designed_network(args.rate, SEEDS[args.rate])
        net.load_state_dict(torch.load(args.checkpoint))
    else:
        net = design.designed_network(args.rate, SEEDS[args.rate])
    model_file.save(net, args.out)
    print(f"wrote {args.out}")


if __name__ == "__main__":
    main()
